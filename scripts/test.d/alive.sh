#!/usr/bin/env bash
# The installer stays alive during a slow download, under Wine + Xvfb: a package
# of some tens of MB served at a limited rate. The progress shows, the main
# window answers the system's hang check, "Prekliči" stops the run within 2 s
# with the cancel line and no setup, and a whole slow run still succeeds.
# Screenshots go to build/windows/screenshots/alive-*.png. Uses port 80: run it
# under flock /tmp/tramela-port80.lock.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
source "$root/scripts/e2e-lib.sh"
e2e_begin alive
mkdir -p "$work/content/Baza"
# Random bytes do not compress: the package is as big as its content.
head -c $((32 * 1024 * 1024)) /dev/urandom >"$work/content/Baza/velika-baza.bin"
make_package "$work/www" "$work/content"

failures=0
fail() { echo "FAIL [$case]: $*"; failures=$((failures + 1)); }
cleanup() {
  stop_installer
  bash "$root/scripts/serve-package.sh" stop 80
  stop_xvfb
}
trap cleanup EXIT
TRAMELA_FORCE_XVFB=1 start_xvfb || exit 1
wine_env "$work/prefix"
wine_prefix_init
c_drive=$WINEPREFIX/drive_c

# start_run CASE RATE: a clean drive C:, the server at that rate, the installer
# clicked through to "Potrdi", and the download under way.
start_run() {
  case=$1
  echo "-- $case"
  mkdir -p "$work/$case"
  rm -rf "$c_drive/Tramela"
  TRAMELA_SERVE_RATE=$2 bash "$root/scripts/serve-package.sh" start "$work/www" 80 || exit 1
  start_installer
  drive wait Naprej 1 60000 >/dev/null || { fail "the main window did not appear"; return 1; }
  drive click Naprej >/dev/null
  drive wait Potrdi 1 10000 >/dev/null || { fail "\"Potrdi\" is not enabled on page 1"; return 1; }
  drive click Potrdi >/dev/null
  drive progress 60000 >"$work/$case/progress-1.txt" || { fail "no progress bar during the download"; return 1; }
}

# finish_run CAPTION: the checklist and the log, then confirm and end with CAPTION.
finish_run() {
  drive rows >"$work/$case/rows.txt" || fail "the checklist cannot be read"
  drive log >"$work/$case/log.txt" || fail "the log cannot be read"
  screenshot "$shots/alive-$case-notice.png"
  drive click Potrdi >/dev/null
  drive wait "$1" 1 10000 >/dev/null || fail "no enabled \"$1\" after the notice"
  drive click "$1" >/dev/null
  wait_installer_exit 30 || fail "the installer did not end"
  stop_installer
  bash "$root/scripts/serve-package.sh" stop 80
}

if start_run cancel 4m; then
  sleep 1
  screenshot "$shots/alive-cancel-download.png"
  drive progress >"$work/$case/progress-2.txt"
  cat "$work/$case/progress-2.txt"
  grep -q "visible=1	marquee=0" "$work/$case/progress-2.txt" || fail "the bar shows no share of a known length"
  drive ping 5 >"$work/$case/ping.txt" || fail "the main window did not answer during the download: $(tr '\n' ' ' <"$work/$case/ping.txt")"
  cat "$work/$case/ping.txt"
  drive click "Prekliči" 2000 >"$work/$case/cancel.txt" || fail "no notice within 2 s of the click on \"Prekliči\""
  cat "$work/$case/cancel.txt"
  finish_run "Prekliči"
  expect_row 3 1; expect_row 4 2; expect_no_row 5
  expect_log "[Napaka] Namestitev je prekinil uporabnik."
  expect_log "Pri namestitvi je prišlo do napak."
  [ -e "$c_drive/Tramela/TramelaCoreServer.zip" ] && fail "the incomplete package file was left"
  [ -e "$c_drive/Tramela/Install/setup-command-line.txt" ] && fail "the setup was started"
else
  stop_installer
  bash "$root/scripts/serve-package.sh" stop 80
fi

if start_run slow-success 12m; then
  screenshot "$shots/alive-success-download.png"
  drive ping 3 >"$work/$case/ping.txt" || fail "the main window did not answer during the download"
  drive wait-notice 120000 >/dev/null || fail "no outcome notice"
  finish_run Konec
  for step in 1 2 3 4 5 6 0; do expect_row $step 1; done
  cmp -s "$work/content/Baza/velika-baza.bin" "$c_drive/Tramela/Baza/velika-baza.bin" || fail "the big file was not extracted whole"
  for i in $(seq 1 100); do [ -f "$c_drive/Tramela/Install/setup-command-line.txt" ] && break; sleep 0.1; done
  [ -f "$c_drive/Tramela/Install/setup-command-line.txt" ] || fail "the setup program was not started"
else
  stop_installer
  bash "$root/scripts/serve-package.sh" stop 80
fi

if [ "$failures" -ne 0 ]; then echo "alive: $failures check(s) failed"; exit 1; fi
echo "alive: all cases passed; screenshots in $shots"
