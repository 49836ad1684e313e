#!/usr/bin/env bash
# End to end: the installer exe under Wine + Xvfb, each case in a fresh prefix,
# against a local distribution server on 127.0.0.1:80. Checks what each path
# leaves behind: checklist rows, log lines, files on C:, the setup's command
# line. Every package is signed; the failure cases serve one without its
# signature, one signed by another key, one changed after signing, and take
# C:\Tramela between the directory test and the download. Screenshots go to build/windows/screenshots/e2e-*.png.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
source "$root/scripts/e2e-lib.sh"
e2e_begin e2e
make_package "$work/www"
mkdir -p "$work/expected"
(cd "$work/expected" && unzip -q "$work/www/Download/TramelaCoreServer.zip")
# www-<name>/Download: the package as each failure case serves it.
www_case() { mkdir -p "$work/www-$1/Download"; echo "$work/www-$1/Download"; }
cp "$work/www/Download/TramelaCoreServer.zip" "$(www_case nosig)/"
printf 'To ni arhiv zip, le besedilo.\n' >"$(www_case nozip)/TramelaCoreServer.zip"
sign_package "" "$work/www-nozip/Download/TramelaCoreServer.zip" >/dev/null
cp "$work/www/Download/"* "$(www_case tampered)/"
printf 'X' | dd of="$work/www-tampered/Download/TramelaCoreServer.zip" bs=1 seek=100 conv=notrunc status=none
cp "$work/www/Download/TramelaCoreServer.zip" "$(www_case otherkey)/"
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$work/other-key.pem" 2>/dev/null
sign_package "$work/other-key.pem" "$work/www-otherkey/Download/TramelaCoreServer.zip" >/dev/null

failures=0
odd_pid=
idle_pid=
proxy_pid=
upstream_port=
fail() { echo "FAIL [$case]: $*"; failures=$((failures + 1)); }
cleanup() {
  stop_installer
  [ -n "$odd_pid" ] && kill "$odd_pid" 2>/dev/null
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null
  [ -n "$upstream_port" ] && bash "$root/scripts/serve-package.sh" stop "$upstream_port"
  bash "$root/scripts/serve-package.sh" stop 80
  stop_xvfb
}
trap cleanup EXIT
TRAMELA_FORCE_XVFB=1 start_xvfb || exit 1

# new_case NAME: a fresh Wine prefix for the case.
new_case() {
  case=$1
  echo "-- $case"
  wine_env "$work/$case/prefix"
  wine_prefix_init
  c_drive=$WINEPREFIX/drive_c
}

# run_case: a whole run, then the checklist and the log for the checks.
run_case() {
  start_installer
  click_through || fail "the run did not reach its notice"
  sleep 0.5
  drive rows >"$work/$case/rows.txt" || fail "the checklist cannot be read"
  drive log >"$work/$case/log.txt" || fail "the log cannot be read"
  screenshot "$shots/e2e-$case.png"
  cat "$work/$case/rows.txt"
}


# expect_refused LINE...: row 4 failed with these log lines after the step's
# own; nothing of the package was written and no setup started.
expect_refused() {
  expect_row 3 1; expect_row 4 2; expect_no_row 5
  local want got
  want=$(printf '%s\n' "Prenos namestitvenega paketa..." "$@" "Pri namestitvi je prišlo do napak.")
  got=$(tr -d '\r' <"$work/$case/log.txt" | tail -n $(($# + 2)))
  [ "$got" = "$want" ] || fail "log ends [$got], not [$want]"
  [ -e "$c_drive/Tramela/TramelaCoreServer.zip" ] && fail "the package file was written"
  [ -e "$c_drive/Tramela/Install" ] && fail "the package was extracted"
}

# serve_odd MODE [ARG]: the misbehaving server of tests/e2e on port 80.
serve_odd() {
  python3 "$root/tests/e2e/package_server.py" 80 "$work/www" "$@" >"$work/odd.log" 2>&1 &
  odd_pid=$!
  for i in $(seq 1 50); do grep -q ready "$work/odd.log" 2>/dev/null && break; sleep 0.1; done
}
stop_odd() { kill "$odd_pid" 2>/dev/null; wait "$odd_pid" 2>/dev/null; odd_pid=; }

# confirm_and_close CAPTION: confirm the notice, then end with the cancel button.
confirm_and_close() {
  drive click Potrdi >/dev/null
  drive wait "$1" 1 10000 >/dev/null || fail "no enabled \"$1\" after the notice"
  drive click "$1" >/dev/null
  wait_installer_exit 30 || fail "the installer did not end"
  stop_installer
}

new_case success
bash "$root/scripts/serve-package.sh" start "$work/www" 80 || exit 1
run_case
for step in 1 2 3 4 5 6 0; do expect_row $step 1; done
expect_log "Namestitev je končana."
confirm_and_close Konec
[ -e "$c_drive/Tramela/TramelaCoreServer.zip" ] && fail "the package file was not deleted"
for i in $(seq 1 100); do [ -f "$c_drive/Tramela/Install/setup-command-line.txt" ] && break; sleep 0.1; done
if [ -f "$c_drive/Tramela/Install/setup-command-line.txt" ]; then
  got=$(cat "$c_drive/Tramela/Install/setup-command-line.txt")
  [ "$got" = "$setup_command" ] || fail "setup command line was [$got], not [$setup_command]"
  rm "$c_drive/Tramela/Install/setup-command-line.txt"
else
  fail "the setup program was not started"
fi
diff -r "$work/expected" "$c_drive/Tramela" >"$work/$case/diff.txt" || fail "extracted files differ: $(head -5 "$work/$case/diff.txt")"

new_case server-down
bash "$root/scripts/serve-package.sh" stop 80
run_case
expect_row 1 1; expect_row 2 1; expect_row 3 2; expect_no_row 4
expect_log "Pri namestitvi je prišlo do napak."
confirm_and_close "Prekliči"

# refused_case NAME WWW LINE...: the package of WWW is refused before C:\Tramela is made.
refused_case() {
  new_case "$1"
  bash "$root/scripts/serve-package.sh" start "$2" 80 || exit 1
  shift 2
  run_case
  expect_refused "$@"
  [ -e "$c_drive/Tramela" ] && fail "the working directory was made for a package that was refused"
  confirm_and_close "Prekliči"
  bash "$root/scripts/serve-package.sh" stop 80
}
TRAMELA_SERVE_AS_IS=1 refused_case no-signature "$work/www-nosig" \
  "HTTP/1.1 404 Not Found" "[Napaka] Podpis namestitvenega paketa ni na voljo... "
refused_case other-key "$work/www-otherkey" "[Napaka] Podpis namestitvenega paketa ni veljaven... "
refused_case tampered "$work/www-tampered" "[Napaka] Namestitveni paket se ne ujema s podpisom... "

new_case directory-taken
serve_odd mkdir-on-sig "$c_drive/Tramela"
run_case
expect_refused "[Napaka] Delovni imenik že obstaja ali ni varen... "
[ -n "$(ls -A "$c_drive/Tramela" 2>/dev/null)" ] && fail "something was written into the folder another made"
confirm_and_close "Prekliči"
stop_odd

new_case cut-short
serve_odd cut-short
run_case
expect_row 3 1; expect_row 4 2; expect_no_row 5
[ -e "$c_drive/Tramela/TramelaCoreServer.zip" ] && fail "the package file was written"
confirm_and_close "Prekliči"
stop_odd

# nginx behind a relay that resets the first download after 30 % of its answer:
# the download goes on by range and the run completes.
new_case reset-resume
upstream_port=$(free_port)
bash "$root/scripts/serve-package.sh" start "$work/www" "$upstream_port" || exit 1
python3 "$root/tests/e2e/reset_relay.py" 80 "$upstream_port" >"$work/relay.log" 2>&1 &
odd_pid=$!
for i in $(seq 1 50); do grep -q ready "$work/relay.log" 2>/dev/null && break; sleep 0.1; done
run_case
for step in 1 2 3 4 5 6 0; do expect_row $step 1; done
expect_log "Prenos prekinjen pri "
expect_log " bajtov, ponovni poskus 1 od 4... "
grep -q "^reset after" "$work/relay.log" || fail "the relay reset nothing: $(cat "$work/relay.log")"
grep -q '"GET /Download/TramelaCoreServer.zip HTTP/1.1" 206 ' "$TRAMELA_SERVE_DIR/$upstream_port/access.log" ||
  fail "nginx served no 206: $(cat "$TRAMELA_SERVE_DIR/$upstream_port/access.log")"
confirm_and_close Konec
diff -r "$work/expected" "$c_drive/Tramela" -x setup-command-line.txt >"$work/$case/diff.txt" ||
  fail "extracted files differ: $(head -5 "$work/$case/diff.txt")"
stop_odd
bash "$root/scripts/serve-package.sh" stop "$upstream_port"
upstream_port=

# set_proxy PORT: the prefix's Internet Settings name 127.0.0.1:PORT, loopback included.
set_proxy() {
  local key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
  wine reg add "$key" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null 2>&1 &&
    wine reg add "$key" /v ProxyServer /t REG_SZ /d "127.0.0.1:$1" /f >/dev/null 2>&1 &&
    wine reg add "$key" /v ProxyOverride /t REG_SZ /d "<-loopback>" /f >/dev/null 2>&1 ||
    fail "the proxy settings cannot be written"
}

# Debian's tinyproxy named in the registry: the probe and the downloads go through it.
new_case proxy
bash "$root/scripts/serve-package.sh" start "$work/www" 80 || exit 1
proxy_port=$(free_port)
mkdir -p "$work/proxy"
cat >"$work/proxy/tinyproxy.conf" <<CONF
Port $proxy_port
Listen 127.0.0.1
Timeout 60
MaxClients 8
Allow 127.0.0.1
LogLevel Info
LogFile "$work/proxy/tinyproxy.log"
PidFile "$work/proxy/tinyproxy.pid"
CONF
tinyproxy -d -c "$work/proxy/tinyproxy.conf" >"$work/proxy/stdout.log" 2>&1 &
proxy_pid=$!
for i in $(seq 1 50); do curl -s -o /dev/null --max-time 1 "http://127.0.0.1:$proxy_port/" && break; sleep 0.1; done
set_proxy "$proxy_port"
run_case
for step in 1 2 3 4 5 6 0; do expect_row $step 1; done
expect_log "Posredniški strežnik: 127.0.0.1:$proxy_port"
for file in TramelaCoreServer.zip.sig TramelaCoreServer.zip; do
  grep -q "GET http://localhost/Download/$file HTTP/1.1" "$work/proxy/tinyproxy.log" ||
    fail "the proxy's log shows no GET of $file"
done
confirm_and_close Konec
kill "$proxy_pid" 2>/dev/null; wait "$proxy_pid" 2>/dev/null; proxy_pid=

# The proxy named but not running: step 3 fails, though the server itself answers.
new_case proxy-down
dead_port=$(free_port)
set_proxy "$dead_port"
run_case
expect_row 1 1; expect_row 2 1; expect_row 3 2; expect_no_row 4
expect_log "Posredniški strežnik: 127.0.0.1:$dead_port"
confirm_and_close "Prekliči"
bash "$root/scripts/serve-package.sh" stop 80

new_case not-a-zip
bash "$root/scripts/serve-package.sh" start "$work/www-nozip" 80 || exit 1
run_case
expect_row 4 1; expect_row 5 2; expect_no_row 6
confirm_and_close "Prekliči"
bash "$root/scripts/serve-package.sh" stop 80

new_case earlier-installation
mkdir -p "$c_drive/Tramela"
start_installer
drive wait Potrdi 1 60000 >/dev/null || fail "the refusal notice did not appear"
drive list >"$work/$case/windows.txt"
grep -q "layered=1" "$work/$case/windows.txt" || fail "the notice has no backdrop"
grep -q "^button	Naprej" "$work/$case/windows.txt" && fail "the main window showed behind the refusal"
screenshot "$shots/e2e-$case.png"
drive click Potrdi >/dev/null
wait_installer_exit 30 || fail "the installer did not end after the refusal"
stop_installer

new_case server-running
bash "$root/scripts/serve-package.sh" start "$work/www" 80 || exit 1
mkdir -p "$c_drive/fb"
cp "$idle" "$c_drive/fb/fb_inet_server.exe"
(cd "$c_drive/fb" && exec wine fb_inet_server.exe 120) >/dev/null 2>&1 &
idle_pid=$!
run_case
for step in 1 2 3 4 5 0; do expect_row $step 1; done
expect_row 6 3
expect_log "Firebird SQL strežnik je že aktiven"
confirm_and_close Konec
[ -f "$c_drive/Tramela/Install/setup-command-line.txt" ] && fail "the setup was started although the server runs"
kill "$idle_pid" 2>/dev/null; wait "$idle_pid" 2>/dev/null
stop_installer

if [ "$failures" -ne 0 ]; then echo "e2e: $failures check(s) failed"; exit 1; fi
echo "e2e: all cases passed; screenshots in $shots"
