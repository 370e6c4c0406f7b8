#!/usr/bin/env bash
# Starts or stops the HTTPS test server on 127.0.0.1:443 for the Wine tests.
#   start DIR WINE TRUST_EXE   makes DIR/server.pem (self-signed, DNS:localhost)
#                              and DIR/tls11.pem (DNS:127.0.0.2, for the
#                              listener on 127.0.0.2:443 that offers TLS 1.0
#                              and 1.1 only) once, trusts both in the Wine
#                              prefix's LocalMachine Root store and starts the
#                              server (pid in DIR/pid), and a listener on
#                              127.0.0.3:443 that accepts no connection, for
#                              the connect time-out (pid in DIR/noaccept.pid)
#   stop DIR                   stops both, waiting at most 10 s each
# The server also ends itself after 30 minutes, so it never outlives a run.
set -euo pipefail
action=$1
dir=$2
here=$(cd "$(dirname "$0")" && pwd)

stop_one() {
  [ -f "$1" ] || return 0
  pid=$(cat "$1")
  rm -f "$1"
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
}

stop() {
  stop_one "$dir/pid"
  stop_one "$dir/noaccept.pid"
}

case $action in
  start)
    wine=$3
    trust=$4
    mkdir -p "$dir"
    stop
    if [ ! -f "$dir/server.pem" ]; then
      openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/server.key" -out "$dir/server.pem" \
        -days 3650 -sha256 -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost" 2>/dev/null
      openssl x509 -in "$dir/server.pem" -outform DER -out "$dir/server.der"
    fi
    if [ ! -f "$dir/tls11.pem" ]; then
      openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/tls11.key" -out "$dir/tls11.pem" \
        -days 3650 -sha256 -subj "/CN=127.0.0.2" -addext "subjectAltName=DNS:127.0.0.2" 2>/dev/null
      openssl x509 -in "$dir/tls11.pem" -outform DER -out "$dir/tls11.der"
    fi
    for der in "$dir/server.der" "$dir/tls11.der"; do
      timeout 120 "$wine" "$trust" "Z:${der//\//\\}" </dev/null
    done
    : > "$dir/requests.log"
    env -u http_proxy -u https_proxy setsid /usr/bin/python3 "$here/test_https_server.py" \
      --cert "$dir/server.pem" --key "$dir/server.key" --log "$dir/requests.log" \
      --tls11-address 127.0.0.2 --tls11-cert "$dir/tls11.pem" --tls11-key "$dir/tls11.key" \
      </dev/null >"$dir/server.out" 2>&1 &
    echo $! > "$dir/pid"
    env -u http_proxy -u https_proxy setsid /usr/bin/python3 "$here/test_https_server.py" --mode no-accept \
      --address 127.0.0.3 --lifetime 1800 </dev/null >"$dir/noaccept.out" 2>&1 &
    echo $! > "$dir/noaccept.pid"
    for _ in $(seq 700); do
      grep -q ready "$dir/server.out" 2>/dev/null && grep -q ready "$dir/noaccept.out" 2>/dev/null && exit 0
      for name in pid noaccept.pid; do
        kill -0 "$(cat "$dir/$name")" 2>/dev/null || { cat "$dir/server.out" "$dir/noaccept.out"; stop; exit 1; }
      done
      sleep 0.1
    done
    echo "test server did not start within 70 s"; cat "$dir/server.out" "$dir/noaccept.out"; stop; exit 1
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start DIR WINE TRUST_EXE | stop DIR" >&2; exit 2
    ;;
esac
