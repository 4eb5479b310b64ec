#!/bin/bash
# with-server.sh <lifetime-seconds> <command> [args...]: runs the command with
# the loopback HTTP server of the stream tests listening; ORVELA_HTTP_PORT
# names its port and ORVELA_STREAM_FILE a file: URL of a 1 MB file beside it.
# The server is stopped when the command ends, and ends by itself otherwise.
set -u
lifetime=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
python3 "$here/serve.py" --port-file "$work/port" --lifetime "$lifetime" &
server=$!
for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.1
done
[ -s "$work/port" ] || { echo "FAIL the HTTP server did not start" >&2; exit 2; }
head -c 1048576 /dev/urandom > "$work/file.bin"
export ORVELA_HTTP_PORT=$(cat "$work/port")
export ORVELA_STREAM_FILE="file:///Z:$work/file.bin"
export ORVELA_STREAM_FILE_CRC32=$(python3 -c 'import sys,zlib; print("%08x" % (zlib.crc32(open(sys.argv[1],"rb").read()) & 0xFFFFFFFF))' "$work/file.bin")
"$@"
