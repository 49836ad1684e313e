#!/usr/bin/env bash
# The installer demo: the package is served by a local distribution server on
# 127.0.0.1:80 and the installer runs under Wine. On a display of your own you
# click through it yourself; without one it runs under Xvfb, is clicked through
# by the UI driver, and screenshots are saved. Expects WINEPREFIX set (run.sh).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$root/scripts/e2e-lib.sh"
e2e_check_built
port80_free
demo=$build/demo
shots=$build/screenshots
mkdir -p "$demo" "$shots"
export TRAMELA_SERVE_DIR=$demo/serve
rm -rf "$demo/www"
make_package "$demo/www"
finish() {
  stop_installer
  bash "$root/scripts/serve-package.sh" stop 80
  stop_xvfb
}
trap finish EXIT
bash "$root/scripts/serve-package.sh" start "$demo/www" 80
echo "distribution server: http://localhost/Download/TramelaCoreServer.zip (nginx on 127.0.0.1:80)"
echo "package signature: http://localhost/Download/TramelaCoreServer.zip.sig ($(sed -n 's/^key-id: //p' \
  "$demo/www/Download/TramelaCoreServer.zip.sig" | sed 's/^/key-id /'), the development key build/keys/package-key.pem)"

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  echo "the installer opens on your display $DISPLAY; click through it and close it with \"Konec\""
  (cd "$WINEPREFIX/drive_c" && wine "$exe") || true
else
  start_xvfb
  echo "no display of your own: running under Xvfb ($DISPLAY), clicked through by the UI driver"
  start_installer
  drive wait Naprej 1 60000 >/dev/null
  screenshot "$shots/demo-1-uvod.png"
  drive click Naprej >/dev/null
  drive wait Potrdi 1 10000 >/dev/null
  sleep 0.5
  screenshot "$shots/demo-2-potrditev.png"
  drive click Potrdi >/dev/null
  drive wait-notice 180000 >/dev/null
  sleep 0.5
  screenshot "$shots/demo-3-obvestilo.png"
  drive click Potrdi >/dev/null
  drive wait Konec 1 10000 >/dev/null || echo "the installation did not succeed; see the screenshots"
  screenshot "$shots/demo-4-konec.png"
  echo "checklist:"
  drive rows >"$demo/rows.txt" || true
  awk -F'\t' '{ split("running done failed skipped", s, " "); printf "  [%s] %s\n", s[$2 + 1], $4 }' "$demo/rows.txt"
  # Row 4 is done only for a package whose signature and SHA-256 the installer checked.
  if tr -d '\r' <"$demo/rows.txt" | grep -q "^row	1	[^	]*	Prenos namestitvenega paketa\.\.\.$"; then
    echo "package verified: the installer checked its signature, size and SHA-256 before writing it to C:\\Tramela"
  else
    echo "the package was not verified; see the log"
  fi
  echo "log:"; drive log | tr -d '\r' | sed 's/^/  /'; echo
  drive click Konec >/dev/null || drive click "Prekliči" >/dev/null || true
  wait_installer_exit 30 || true
  echo "screenshots: $shots/demo-*.png"
fi
echo "installed files (C:\\Tramela): $WINEPREFIX/drive_c/Tramela"
if [ -f "$WINEPREFIX/drive_c/Tramela/Install/setup-command-line.txt" ]; then
  echo "the stand-in setup was started as: $(cat "$WINEPREFIX/drive_c/Tramela/Install/setup-command-line.txt")"
fi
