# Shared steps of the end-to-end runs (the demo and the tests): the package,
# the local distribution server, the installer under Wine and its UI driver.
# Sourced after lib.sh.
build=$root/build/windows
exe=$build/src/app/TramelaNamestitev.exe
driver=$build/tools/ui-driver/ui_driver.exe
setup=$build/tools/fake-setup/Firebird-2.1.3.18185_0_Win32.exe
idle=$build/tools/idle-process/idle-process.exe
setup_command='C:\Tramela\Install\Firebird-2.1.3.18185_0_Win32.exe /SILENT /NOICONS /COMPONENTS="ClassicServerComponent,ClientComponent,ServerComponent" /FORCE '
app_pid=

e2e_check_built() {
  local f
  for f in "$exe" "$driver" "$setup" "$idle"; do
    [ -f "$f" ] || { echo "missing $f (build the windows preset first)" >&2; return 1; }
  done
}

# e2e_begin NAME: the checks every end-to-end script starts with, and its
# folders: work=$build/NAME (emptied) and shots for the screenshots.
e2e_begin() {
  e2e_check_built || exit 1
  port80_free || exit 1
  command -v import >/dev/null || { echo "ImageMagick import is missing"; exit 1; }
  work=$build/$1
  shots=$build/screenshots
  rm -rf "$work"
  mkdir -p "$work" "$shots"
  export TRAMELA_SERVE_DIR=$work/serve
}

# make_package WWWROOT [CONTENT] [BEHAVIOUR]: the package at
# WWWROOT/Download/TramelaCoreServer.zip, with the sample files or those of
# CONTENT, and a stand-in setup that runs and ends as BEHAVIOUR says
# ("DELAY_MS EXIT_CODE").
make_package() {
  mkdir -p "$1/Download"
  bash "$root/tools/make-package/make-package.sh" "$1/Download/TramelaCoreServer.zip" "$setup" \
    "${2:-$root/tools/make-package/content}" "${3:-}" >/dev/null
}

# port80_free: nothing else may answer where the distribution server goes.
port80_free() {
  if curl -s -o /dev/null --max-time 2 http://127.0.0.1:80/; then
    echo "something already listens on 127.0.0.1:80; stop it first" >&2
    return 1
  fi
}

drive() { timeout 60 wine "$driver" "$@"; }

# start_installer [EXE [DIR]]: the installer (or a copy of it) started from
# DIR, by default C:\.
start_installer() {
  wine_server_up
  (cd "${2:-$WINEPREFIX/drive_c}" && exec wine "${1:-$exe}") >/dev/null 2>&1 &
  app_pid=$!
}

# wait_installer_exit [SECONDS]: the installer ends by itself.
wait_installer_exit() {
  local i
  for i in $(seq 1 $((${1:-30} * 10))); do
    kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid" 2>/dev/null; app_pid=; return 0; }
    sleep 0.1
  done
  return 1
}

stop_installer() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; fi
  app_pid=
  timeout 30 wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w 2>/dev/null || true
}

# click_through: page 1, "Potrdi", and wait for the outcome notice.
click_through() {
  drive wait Naprej 1 60000 >/dev/null || { echo "the main window did not appear" >&2; return 1; }
  drive click Naprej >/dev/null
  drive wait Potrdi 1 10000 >/dev/null || { echo "\"Potrdi\" is not enabled on page 1" >&2; return 1; }
  drive click Potrdi >/dev/null
  # A run disables "Nazaj" first thing. A click posted from outside that Wine
  # loses leaves it enabled: say so and click once more.
  if ! drive wait Nazaj 0 10000 >/dev/null; then
    echo "the click on \"Potrdi\" started no run; clicking again" >&2
    drive click Potrdi >/dev/null
  fi
  drive wait-notice 180000 >/dev/null || { echo "no outcome notice" >&2; return 1; }
}

screenshot() { import -window root "$1" 2>/dev/null; }

# Checks of a case, on the files that "drive rows" and "drive log" wrote to
# $work/$case (rows.txt, log.txt); fail is the caller's.
# The checklist rows by step number, as the window shows them.
row_text() {
  case $1 in
    1) echo "Pregled lokalnega pogona - C: ..." ;;
    2) echo "Ugotavljanje operacijskega sistema... : " ;;
    3) echo "Testiranje internet povezave... " ;;
    4) echo "Prenos namestitvenega paketa..." ;;
    5) echo "Ekstrahiranje podatkov... " ;;
    6) echo "Nameščanje Firebird SQL podatkovnega strežnika..." ;;
    0) echo "Namestitev je končana" ;;
  esac
}
# expect_row STEP STATE: the row of that step is in that state (0 running,
# 1 done, 2 failed, 3 skipped).
expect_row() {
  grep -qF -- "$(printf 'row\t%s\t' "$2")$(printf '\t')$(row_text "$1")" "$work/$case/rows.txt" ||
    grep -q "^row	$2	$1	" "$work/$case/rows.txt" || fail "row $1 is not in state $2"
}
expect_no_row() { grep -qF -- "$(row_text "$1")" "$work/$case/rows.txt" && fail "row $1 should not be there"; }
expect_log() { grep -qF -- "$1" "$work/$case/log.txt" || fail "log has no line \"$1\": $(tr '\r\n' '  ' <"$work/$case/log.txt")"; }
