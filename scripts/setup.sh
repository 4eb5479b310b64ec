#!/usr/bin/env bash
# Installs what the build and the test bed need, only when something is missing.
# Safe to run again: it does nothing (and touches no network) once all is present.
set -euo pipefail

packages=(
  cmake make g++ clang-format python3 valgrind
  g++-mingw-w64-i686-posix mingw-w64-i686-dev mingw-w64-tools binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  libboost-dev libutfcpp-dev googletest libgtest-dev libbenchmark-dev duktape-dev
  wine wine64 libwine-dev
  xvfb xauth x11-apps
  clang libclang-rt-14-dev
  wixl msitools gcab osslsigncode openssl
  nodejs
)
# Debian's npm, where no npm came with nodejs (NodeSource's nodejs has its own
# and conflicts with Debian's).
command -v npm >/dev/null || packages+=(npm)

sudo_if_needed() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# 32-bit Wine only for the suite that runs the 32-bit tree (scripts/wine-tree).
if [ "${ORVELA_WINE_TREE:-win64}" = win32 ]; then
  packages+=(wine32:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture"
    sudo_if_needed dpkg --add-architecture i386
    need_update=1
  fi
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  # A mirror in the middle of a sync answers some index files wrongly; try
  # again, then go on with what was fetched (the install says what is missing).
  for attempt in 1 2 3; do
    if sudo_if_needed apt-get update -q; then break; fi
    echo "setup: apt-get update failed (attempt $attempt of 3)"
    if [ "$attempt" -lt 3 ]; then sleep 15; fi
  done
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# TypeScript's compiler, for the test that type-checks orvela.d.ts: a pinned
# version from npm, in the build folder (git ignores it), fetched only when
# that version is not there yet.
typescript=5.9.3
tools=$(cd "$(dirname "$0")/.." && pwd)/build/tools
if ! grep -qs "\"version\": \"$typescript\"" "$tools/node_modules/typescript/package.json"; then
  echo "setup: installing typescript $typescript into build/tools"
  mkdir -p "$tools"
  npm install --prefix "$tools" --no-audit --no-fund --no-save "typescript@$typescript"
fi
