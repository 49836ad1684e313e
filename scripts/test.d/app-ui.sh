#!/usr/bin/env bash
# The real installer under Wine on its own Xvfb display: a UI driver reads and
# clicks its windows; screenshots of page 0, page 1 and a refusal notice over
# its backdrop go to build/windows/screenshots/. Bounded; stops what it starts.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
build=$root/build/windows
exe=$build/src/app/TramelaNamestitev.exe
driver=$build/tools/ui-driver/ui_driver.exe
demo=$build/tools/ui-driver/install_demo.exe
shots=$build/screenshots
for f in "$exe" "$driver" "$demo"; do
  [ -f "$f" ] || { echo "missing $f (build the windows preset first)"; exit 1; }
done
command -v import >/dev/null || { echo "ImageMagick import is missing"; exit 1; }

wine_env "$build/wineprefix"
wine_prefix_init
TRAMELA_FORCE_XVFB=1 start_xvfb || exit 1
mkdir -p "$shots"
installdir=$WINEPREFIX/drive_c/Tramela
app_pid=
failures=0

cleanup() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; fi
  rm -rf "$installdir"
  # Wine's own helpers leave once the programs have gone; then the display goes.
  timeout 30 wineserver -w 2>/dev/null || true
  stop_xvfb
}
trap cleanup EXIT

drive() { timeout 60 wine "$driver" "$@"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# expect_button CAPTION ENABLED: the visible button reads so.
expect_button() {
  drive wait "$1" "$2" 10000 >/dev/null 2>&1 || fail "button \"$1\" is not enabled=$2: $(drive list | tr '\n' '|')"
}
shot() { import -window root "$shots/$1.png" || fail "screenshot $1"; }
# tab_path N [KEY]: where the focus lands after each of N presses of KEY (tab), joined by "|".
tab_path() {
  local i path=
  for i in $(seq 1 "$1"); do
    drive key "${2:-tab}" >/dev/null
    sleep 0.2
    path+="$(drive focus | tr -d '\r')|"
  done
  printf '%s' "$path"
}
# expect_tab_path N KEY EXPECTED
expect_tab_path() {
  local got
  got=$(tab_path "$1" "$2")
  [ "$got" = "$3" ] || fail "$2 path: got \"$got\", want \"$3\""
}
start_app() {
  wine_server_up
  wine "${1:-$exe}" >/dev/null 2>&1 &
  app_pid=$!
}
# wait_exit: the program ends by itself within 30 s.
wait_exit() {
  local i
  for i in $(seq 1 300); do
    kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid" 2>/dev/null; app_pid=; return 0; }
    sleep 0.1
  done
  fail "the program did not end"
}

echo "-- wizard pages"
rm -rf "$installdir"
start_app
drive wait Naprej 1 60000 || fail "the main window did not appear"
drive list
expect_button Nazaj 0
expect_button Potrdi 1
expect_button "Prekliči" 1
shot page0
# The stored tab order: the first stop has the focus; the hidden log and the disabled "Nazaj" are passed over.
first_focus=$(drive focus | tr -d '\r')
[ "$first_focus" = "button Prekliči" ] || fail "first focus: $first_focus"
expect_tab_path 3 tab "button Potrdi|button Naprej|button Prekliči|"
drive click Naprej
expect_button Nazaj 1
expect_button Naprej 0
expect_button Potrdi 1
# On the confirmation page the log stands between "Potrdi" and "Nazaj".
expect_tab_path 4 tab "button Potrdi|edit|button Nazaj|button Prekliči|"
expect_tab_path 3 shift+tab "button Nazaj|edit|button Potrdi|"
sleep 0.5  # let the animation and repaint settle for the picture
shot page1
drive click Nazaj
expect_button Nazaj 0
expect_button Naprej 1
expect_button Potrdi 0
drive click "Prekliči"
wait_exit

echo "-- refusal of an earlier installation"
mkdir -p "$installdir"
start_app
drive wait Potrdi 1 60000 || fail "the notice did not appear"
listing=$(drive list)
echo "$listing"
grep -q "layered=1" <<<"$listing" || fail "no backdrop window"
grep -q "^button	Naprej" <<<"$listing" && fail "the main window showed before the notice"
sleep 0.5
shot notice
drive click Potrdi
wait_exit
rm -rf "$installdir"

echo "-- both refusals: the second notice ends at once with the pending quit"
mkdir -p "$installdir"
printf 'MZ' >"$installdir/Tramela.exe"
start_app
drive wait Potrdi 1 60000 || fail "the first notice did not appear"
drive list | grep -q "^focus	TramelaGlowButton	Potrdi" || fail "the notice's button has no focus"
drive key space  # the keyboard confirms it this time
wait_exit
rm -rf "$installdir"

echo "-- a whole run on the real windows over scripted operations"
# Its scripted download delivers a package signed with the development key.
demo_package=$build/ui-demo-package
mkdir -p "$demo_package"
head -c 2048 /dev/urandom >"$demo_package/TramelaCoreServer.zip"
sign_package "" "$demo_package/TramelaCoreServer.zip" 1 >/dev/null || fail "the demo package cannot be signed"
export TRAMELA_DEMO_PACKAGE="Z:$demo_package"
start_app "$demo"
drive wait Potrdi 1 60000 || fail "the demo window did not appear"
drive click Naprej
expect_button Potrdi 1
drive click Potrdi
sleep 1.2  # inside the download: the window is blocked, the animation runs
shot running
drive wait-notice 30000 || fail "no outcome notice"
sleep 0.3
shot outcome
drive click Potrdi
expect_button Konec 1
expect_button Potrdi 0
expect_button Naprej 0
expect_button Nazaj 0
shot installed
drive click Konec
wait_exit

echo "-- a Czech system: the free-space line groups with the locale's no-break space"
# Wine takes its locale from LANG when glibc has it (scripts/deps.sh makes cs_CZ.UTF-8).
# The driver runs under it too: each Wine program writes its own locale into the
# prefix's user settings, which the installer then reads.
saved_lang=${LANG-} saved_lc_all=${LC_ALL-}
export LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8
start_app "$demo"
drive wait Potrdi 1 60000 || fail "the demo window did not appear under the Czech locale"
drive click Naprej
expect_button Potrdi 1
drive click Potrdi
drive wait-notice 30000 || fail "no outcome notice under the Czech locale"
free_line=$(drive log | tr -d '\r' | grep '^Pogon C: ')
# 1234 GiB: ten spaces fill the field of fifteen characters, then 1, U+00A0, 234.
[ "$free_line" = "Pogon C:           1"$'\xc2\xa0'"234 GB" ] ||
  fail "free-space line under the Czech locale: $(printf '%s' "$free_line" | od -An -c | tr -s ' ')"
drive click Potrdi
expect_button Konec 1
drive click Konec
wait_exit
export LANG=$saved_lang LC_ALL=$saved_lc_all

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "UI checks passed; screenshots in $shots"
