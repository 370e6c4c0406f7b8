#!/bin/sh
# Runs one Windows test program under wine64 for ctest. Wine has been seen,
# rarely and under load, to end a process at its start, before the program
# printed anything: such a run is tried once more. A GoogleTest program prints
# before it runs any test, so no test runs twice. The output goes through a
# file, so that no process Wine starts on the program's behalf can hold
# ctest's pipe open.
out=$(mktemp) || exit 1
/usr/lib/wine/wine64 "$@" >"$out" 2>&1
rc=$?
if [ "$rc" -ne 0 ] && [ ! -s "$out" ]; then
  echo "wine64 ended with $rc before the program printed anything; running it once more"
  /usr/lib/wine/wine64 "$@" >"$out" 2>&1
  rc=$?
fi
cat "$out"
rm -f "$out"
exit "$rc"
