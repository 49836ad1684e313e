#!/usr/bin/env bash
# End to end: the installer exe under Wine + Xvfb, each case in a fresh prefix,
# against a local distribution server on 127.0.0.1:80. Checks what each path
# leaves behind: checklist rows, log lines, files on C:, the setup's command
# line. Every package is signed; the failure cases serve one without its
# signature, one signed by another key, one changed after signing, one older
# than an installer built with a raised floor accepts, and take C:\Tramela
# between the directory test and the download; one run has a library planted
# under each name the installer loads. A run that fails after C:\Tramela was
# made leaves nothing of it (a wrong CRC near the end, "Prekliči" during the
# extraction, a setup that exits 4), one ended by force is removed by the next
# start, and the outcome waits for the setup's end.
# Screenshots go to build/windows/screenshots/e2e-*.png.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
source "$root/scripts/e2e-lib.sh"
e2e_begin e2e
planted=$build/tools/planted-dll/planted-dll.dll
[ -f "$planted" ] || { echo "missing $planted (build the windows preset first)"; exit 1; }
make_package "$work/www"
mkdir -p "$work/expected"
(cd "$work/expected" && unzip -q "$work/www/Download/TramelaCoreServer.zip")
# www-<name>/Download: the package as each failure case serves it.
www_case() { mkdir -p "$work/www-$1/Download"; echo "$work/www-$1/Download"; }
cp "$work/www/Download/TramelaCoreServer.zip" "$(www_case nosig)/"
printf 'To ni arhiv zip, le besedilo.\n' >"$(www_case nozip)/TramelaCoreServer.zip"
sign_package "" "$work/www-nozip/Download/TramelaCoreServer.zip" 1 >/dev/null
cp "$work/www/Download/"* "$(www_case tampered)/"
printf 'X' | dd of="$work/www-tampered/Download/TramelaCoreServer.zip" bs=1 seek=100 conv=notrunc status=none
cp "$work/www/Download/TramelaCoreServer.zip" "$(www_case otherkey)/"
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$work/other-key.pem" 2>/dev/null
sign_package "$work/other-key.pem" "$work/www-otherkey/Download/TramelaCoreServer.zip" 1 >/dev/null
# The installer as a release that accepts package-version 3 and above is
# built (its own build folder, the same development key), and a package of version 2.
floor_build=$root/build/windows-floor
if [ ! -f "$floor_build/build.ninja" ]; then
  cmake --preset windows -S "$root" -B "$floor_build" -DTRAMELA_MIN_PACKAGE_VERSION=3 >/dev/null || exit 1
fi
CCACHE_DIR=${CCACHE_DIR:-$root/build/ccache} cmake --build "$floor_build" --target TramelaNamestitev \
  -- -j"${JOBS:-2}" >/dev/null || { echo "the installer with the raised floor does not build"; exit 1; }
cp "$work/www/Download/TramelaCoreServer.zip" "$(www_case old)/"
sign_package "" "$work/www-old/Download/TramelaCoreServer.zip" 2 >/dev/null
# The last file entry's CRC is wrong in both of its headers, and the package is signed so.
cp "$work/www/Download/TramelaCoreServer.zip" "$(www_case badcrc)/"
python3 - "$work/www-badcrc/Download/TramelaCoreServer.zip" <<'PY'
import struct, sys, zipfile
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
with zipfile.ZipFile(path) as z:
    last = max((i for i in z.infolist() if not i.is_dir()), key=lambda i: i.header_offset)
struct.pack_into("<I", data, last.header_offset + 14, last.CRC ^ 1)
at = data.find(b"PK\x01\x02")
while at >= 0:
    if struct.unpack_from("<I", data, at + 42)[0] == last.header_offset:
        struct.pack_into("<I", data, at + 16, last.CRC ^ 1)
    at = data.find(b"PK\x01\x02", at + 4)
open(path, "wb").write(data)
PY
sign_package "" "$work/www-badcrc/Download/TramelaCoreServer.zip" 1 >/dev/null
# Setups that take 3 s and succeed, and that fail with Inno Setup's code 4.
make_package "$work/www-setup3s" "" "3000 0"
make_package "$work/www-setup4" "" "200 4"
# Enough small files that the extraction lasts a few seconds.
mkdir -p "$work/slow-content"
for d in $(seq 1 12); do
  mkdir -p "$work/slow-content/Veliko/$d"
  for f in $(seq 1 150); do printf '%s-%s\n' "$d" "$f" >"$work/slow-content/Veliko/$d/$f.txt"; done
done
make_package "$work/www-slow" "$work/slow-content"

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

# run_case [EXE [DIR]]: a whole run, then the checklist and the log for the checks.
run_case() {
  start_installer "$@"
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
  got=$(cat "$c_drive/Tramela/Install/setup-current-dir.txt")
  [ "$got" = 'C:\Tramela\Install' ] || fail "the setup ran in [$got], not in C:\Tramela\Install"
  rm "$c_drive/Tramela/Install/setup-command-line.txt" "$c_drive/Tramela/Install/setup-current-dir.txt"
else
  fail "the setup program was not started"
fi
diff -r "$work/expected" "$c_drive/Tramela" >"$work/$case/diff.txt" || fail "extracted files differ: $(head -5 "$work/$case/diff.txt")"

# A copy of the planted library under the name of every module the installer
# loads at run time (and dnsapi, which Wine's iphlpapi imports in turn),
# beside a copy of the exe and in its current directory, each to be taken
# before Wine's own (native first, as Windows does for any module that is no
# KnownDLL): a whole run loads none of them. KnownDLLs are left out, since
# Wine does not keep them to the system's copies as Windows does, and so are
# names that Wine's own KnownDLLs import where Windows' do not (version).
new_case planted-libraries
planted_names="bcrypt comctl32 uxtheme wsock32 ws2_32 iphlpapi dnsapi normaliz idndl wship6"
for name in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
  echo "$name" | grep -qE "$known_dlls" || planted_names="$planted_names ${name%.dll}"
done
downloads=$c_drive/users/Public/Downloads
started_in=$c_drive/users/Public/Documents
mkdir -p "$downloads" "$started_in"
cp "$exe" "$downloads/"
for name in $planted_names; do cp "$planted" "$downloads/$name.dll"; cp "$planted" "$started_in/$name.dll"; done
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$(echo $planted_names | tr ' ' ',')=n,b" \
  run_case "$downloads/TramelaNamestitev.exe" "$started_in"
for step in 1 2 3 4 5 6 0; do expect_row $step 1; done
confirm_and_close Konec
for marker in "$downloads"/*.loaded "$started_in"/*.loaded; do
  [ -e "$marker" ] && fail "$(basename "$marker" .loaded) was loaded from $(dirname "$marker") by $(iconv -f UTF-16LE -t UTF-8 "$marker")"
done

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
exe=$floor_build/src/app/TramelaNamestitev.exe refused_case older-than-floor "$work/www-old" \
  "[Napaka] Namestitveni paket je starejši od najstarejše dovoljene različice... "

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
diff -r "$work/expected" "$c_drive/Tramela" -x setup-command-line.txt -x setup-current-dir.txt >"$work/$case/diff.txt" ||
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

# expect_removed: the failed run took C:\Tramela away again, with the log's line.
expect_removed() {
  expect_log "Odstranjevanje nepopolne namestitve... "
  [ -e "$c_drive/Tramela" ] && fail "C:\Tramela is left: $(cd "$c_drive/Tramela" && find . | head -5 | tr '\n' ' ')"
}

# second_start_installs: a new start on the same drive shows the wizard and installs.
second_start_installs() {
  run_case
  for step in 1 2 3 4 5 6 0; do expect_row $step 1; done
  confirm_and_close Konec
}

new_case bad-crc
bash "$root/scripts/serve-package.sh" start "$work/www-badcrc" 80 || exit 1
run_case
expect_row 4 1; expect_row 5 2; expect_no_row 6
expect_removed
confirm_and_close "Prekliči"
bash "$root/scripts/serve-package.sh" stop 80
bash "$root/scripts/serve-package.sh" start "$work/www" 80 || exit 1
second_start_installs
bash "$root/scripts/serve-package.sh" stop 80

# start_slow_extraction: the slow package, clicked through until its files appear.
start_slow_extraction() {
  bash "$root/scripts/serve-package.sh" start "$work/www-slow" 80 || exit 1
  start_installer
  drive wait Naprej 1 60000 >/dev/null || fail "the main window did not appear"
  drive click Naprej >/dev/null
  drive wait Potrdi 1 10000 >/dev/null || fail "\"Potrdi\" is not enabled on page 1"
  drive click Potrdi >/dev/null
  local i
  for i in $(seq 1 600); do [ -d "$c_drive/Tramela/Veliko" ] && return 0; sleep 0.05; done
  fail "the extraction did not begin"
}

new_case cancel-extraction
start_slow_extraction
drive click "Prekliči" >/dev/null
drive wait-notice 60000 >/dev/null || fail "no outcome notice after \"Prekliči\""
drive rows >"$work/$case/rows.txt"; drive log >"$work/$case/log.txt"
screenshot "$shots/e2e-$case.png"
expect_row 5 2; expect_no_row 6
expect_log "[Napaka] Namestitev je prekinil uporabnik."
expect_removed
confirm_and_close "Prekliči"
bash "$root/scripts/serve-package.sh" stop 80

new_case ended-by-force
start_slow_extraction
kill -9 "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; app_pid=
stop_installer
[ -f "$c_drive/Tramela/TramelaNamestitev.nedokoncano" ] || fail "the run left no marker"
start_installer
drive wait Potrdi 1 60000 >/dev/null || fail "no notice of the unfinished installation"
grep -q "^button	Naprej" <(drive list) && fail "the main window showed behind the notice"
screenshot "$shots/e2e-$case-notice.png"
drive click Potrdi >/dev/null
drive wait Naprej 1 60000 >/dev/null || fail "the wizard did not follow the notice"
[ -e "$c_drive/Tramela" ] && fail "the unfinished installation was not removed"
drive click Naprej >/dev/null
drive wait Potrdi 1 10000 >/dev/null || fail "\"Potrdi\" is not enabled on page 1"
drive click Potrdi >/dev/null
drive wait-notice 180000 >/dev/null || fail "no outcome notice"
drive rows >"$work/$case/rows.txt"; drive log >"$work/$case/log.txt"
for step in 1 2 3 4 5 6 0; do expect_row $step 1; done
expect_log "Odstranjevanje nepopolne namestitve... "
[ -e "$c_drive/Tramela/TramelaNamestitev.nedokoncano" ] && fail "the marker outlived a successful run"
confirm_and_close Konec
bash "$root/scripts/serve-package.sh" stop 80

new_case setup-3s
bash "$root/scripts/serve-package.sh" start "$work/www-setup3s" 80 || exit 1
start_installer
click_through || fail "the run did not reach its notice"
noticed=$(date +%s.%N)
started=$(date +%s.%N -r "$c_drive/Tramela/Install/setup-command-line.txt" 2>/dev/null || echo 0)
drive rows >"$work/$case/rows.txt"; drive log >"$work/$case/log.txt"
for step in 1 2 3 4 5 6 0; do expect_row $step 1; done
awk -v a="$started" -v b="$noticed" 'BEGIN { exit !(b - a >= 2.9) }' ||
  fail "the success notice came $(awk -v a="$started" -v b="$noticed" 'BEGIN { print b - a }') s after the setup's start, before its end"
confirm_and_close Konec
bash "$root/scripts/serve-package.sh" stop 80

new_case setup-exits-4
bash "$root/scripts/serve-package.sh" start "$work/www-setup4" 80 || exit 1
run_case
expect_row 5 1; expect_row 6 2; expect_no_row 0
expect_log "[Napaka] Namestitev Firebird SQL strežnika ni uspela (izhodna koda 4): Med nameščanjem je prišlo do usodne napake."
expect_removed
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
