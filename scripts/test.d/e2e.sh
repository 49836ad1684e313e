#!/usr/bin/env bash
# End to end: the installer exe under Wine + Xvfb, each case in a fresh prefix,
# against a local distribution server on 127.0.0.1:80. Checks what each path
# leaves behind: checklist rows, log lines, files on C:, the setup's command
# line. Screenshots go to build/windows/screenshots/e2e-*.png.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
source "$root/scripts/e2e-lib.sh"
e2e_begin e2e
make_package "$work/www"
mkdir -p "$work/expected" "$work/www-empty" "$work/www-nozip/Download"
(cd "$work/expected" && unzip -q "$work/www/Download/TramelaCoreServer.zip")
printf 'To ni arhiv zip, le besedilo.\n' >"$work/www-nozip/Download/TramelaCoreServer.zip"

failures=0
short_pid=
idle_pid=
fail() { echo "FAIL [$case]: $*"; failures=$((failures + 1)); }
cleanup() {
  stop_installer
  [ -n "$short_pid" ] && kill "$short_pid" 2>/dev/null
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

new_case not-found
bash "$root/scripts/serve-package.sh" start "$work/www-empty" 80 || exit 1
run_case
expect_row 3 1; expect_row 4 2; expect_no_row 5
expect_log "HTTP/1.1 404 Not Found"
confirm_and_close "Prekliči"
bash "$root/scripts/serve-package.sh" stop 80

new_case cut-short
python3 "$root/tests/e2e/short_body_server.py" 80 "$work/www/Download/TramelaCoreServer.zip" 120 >"$work/short.log" 2>&1 &
short_pid=$!
for i in $(seq 1 50); do grep -q ready "$work/short.log" 2>/dev/null && break; sleep 0.1; done
run_case
expect_row 3 1; expect_row 4 2; expect_no_row 5
confirm_and_close "Prekliči"
kill "$short_pid" 2>/dev/null; wait "$short_pid" 2>/dev/null; short_pid=

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
