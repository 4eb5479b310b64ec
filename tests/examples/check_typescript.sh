#!/usr/bin/env bash
# check_typescript.sh <source root>: type-checks examples/camera.ts against
# sdk/orvela.d.ts with tsc --strict (scripts/setup.sh installs tsc).
root=$1
tsc=$root/build/tools/node_modules/.bin/tsc
if [ ! -x "$tsc" ]; then
    echo "FAIL no tsc at $tsc: run scripts/setup.sh"
    exit 1
fi
"$tsc" --version
"$tsc" --strict --noEmit --target es2017 --lib es2017,dom \
    "$root/sdk/orvela.d.ts" "$root/examples/camera.ts" || exit 1
echo "camera.ts type-checks against orvela.d.ts"
