#!/usr/bin/env bash
# tcp-probe against a real listener on 127.0.0.1 (python3) and a closed port,
# natively and, when built, as the .exe under Wine. Bounded; stops what it starts.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
native=$root/build/native/tools/tcp-probe/tcp-probe
exe=$root/build/windows/tools/tcp-probe/tcp-probe.exe
[ -x "$native" ] || { echo "tcp-probe: $native not built"; exit 1; }

portfile=$(mktemp)
timeout 60 python3 -c '
import socket, sys
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
s.settimeout(50)
try:
    while True:
        c, _ = s.accept(); c.close()
except socket.timeout:
    pass
' "$portfile" &
listener=$!
trap 'kill $listener 2>/dev/null; wait $listener 2>/dev/null; rm -f "$portfile"' EXIT
for _ in $(seq 1 100); do [ -s "$portfile" ] && break; sleep 0.05; done
port=$(cat "$portfile")
closed=$(free_port)

failed=0
check() {  # check NAME EXPECTED-RC EXPECTED-TEXT COMMAND...
  local name=$1 rc=$2 text=$3; shift 3
  local out status
  out=$(timeout 60 "$@" 2>&1); status=$?
  if [ "$status" != "$rc" ] || ! grep -q -- "$text" <<<"$out"; then
    echo "tcp-probe: $name: exit $status, output: $out"; failed=1
  fi
}
check "native open port" 0 "127.0.0.1:$port connected" "$native" 127.0.0.1 "$port"
check "native closed port" 1 "OnError 10061" "$native" 127.0.0.1 "$closed"
check "native bad port" 1 "'abc' is not a valid integer value" "$native" 127.0.0.1 abc
if [ -f "$exe" ]; then
  wine_env "$root/build/windows/wineprefix"
  wine_prefix_init
  check "wine open port" 0 "127.0.0.1:$port connected" wine "$exe" 127.0.0.1 "$port"
  check "wine closed port" 1 "OnError 10061" wine "$exe" 127.0.0.1 "$closed"
fi
[ "$failed" = 0 ] && echo "tcp-probe: all checks passed"
exit $failed
