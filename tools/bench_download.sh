#!/usr/bin/env bash
# Download benchmark: starts the HTTPS test server on 127.0.0.1:443, runs the
# bench program under wine64 (HTTPHelper against a bare WinHTTP loop on the
# same 100 MB file, then the peak working set for 10 MB and 200 MB), curl on
# the same server for reference, and the connect time-out against a listener
# that accepts nothing. Prints figures; asserts nothing.
#   tools/bench_download.sh BUILD_DIR   (BUILD_DIR: the win64 tree)
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
wine=/usr/lib/wine/wine64
dir=$build/benchserver
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY
export WINEDEBUG=-all

cleanup() { "$here/test_server_fixture.sh" stop "$dir"; }
trap cleanup EXIT

"$here/test_server_fixture.sh" start "$dir" "$wine" "$build/tests/trust_root_cert.exe"
bench=$build/tests/bench_download.exe

echo "== throughput, 100 MB (104857600 bytes), one process"
timeout 600 "$wine" "$bench" throughput /size/104857600 </dev/null 2>/dev/null
best=0
for round in 1 2 3; do
  rate=$(timeout 120 curl -sk -o /dev/null -w '%{speed_download}' https://localhost/size/104857600)
  echo "curl -k round $round: $(awk -v r="$rate" 'BEGIN {printf "%.1f", r / 1e6}') MB/s"
done

echo "== peak working set"
for size in 10485760 209715200; do
  timeout 600 "$wine" "$bench" memory /size/$size </dev/null 2>/dev/null
done

echo "== connect time-out"
cleanup
/usr/bin/python3 "$here/test_https_server.py" --mode no-accept --lifetime 60 >"$dir/noaccept.out" 2>&1 &
noaccept=$!
for _ in $(seq 100); do grep -q ready "$dir/noaccept.out" && break; sleep 0.1; done
timeout 120 "$wine" "$bench" connect /size/10 </dev/null 2>/dev/null || true
kill "$noaccept" 2>/dev/null || true
wait "$noaccept" 2>/dev/null || true
