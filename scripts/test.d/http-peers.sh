#!/usr/bin/env bash
# The HTTP client against real peers on 127.0.0.1: nginx (keep-alive,
# Content-Length, auth_basic, a 404 page) and python3's http.server (HTTP/1.0,
# close-delimited bodies, Digest). Every idhttp-get download, native and the
# .exe under Wine, is compared byte for byte with curl's; then the peer cases of
# http_tests run in both builds. Everything started here is stopped here.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
native=$root/build/native
windows=$root/build/windows
work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

winpath() { local p=${1//\//\\}; echo "Z:$p"; }

get_native=$native/tools/idhttp-get/idhttp-get
get_exe=$windows/tools/idhttp-get/idhttp-get.exe
[ -x "$get_native" ] || { echo "http-peers: $get_native is not built"; exit 1; }
have_exe=0
if [ -f "$get_exe" ]; then
  have_exe=1
  wine_env "$windows/wineprefix"
  wine_prefix_init
else
  echo "http-peers: no Windows build, the .exe runs are skipped"
fi

# Fixtures.
www=$work/www
mkdir -p "$www/private" "$work/tmp"
head -c 3145728 /dev/urandom >"$www/random.bin"
: >"$www/empty.txt"
printf 'secret\n' >"$www/private/secret.txt"
printf 'a file name with a space\n' >"$www/with space.txt"
cp "$www/private/secret.txt" "$www/secret.txt"
chmod -R a+rX "$work"
random_md5=$(md5sum "$www/random.bin" | cut -d' ' -f1)
sha=$(python3 -c 'import base64, hashlib; print(base64.b64encode(hashlib.sha1(b"pw").digest()).decode())')
echo "user:{SHA}$sha" >"$work/htpasswd"

nport=$(free_port)
write_nginx_conf "$work" "$nport" "$www" "access_log off;
  default_type application/octet-stream;
  keepalive_timeout 30;" "location /private/ {
      auth_basic \"tramela\";
      auth_basic_user_file $work/htpasswd;
    }"
nginx -g 'daemon off;' -p "$work" -c "$work/nginx.conf" &
pids+=($!)
pport=$(free_port)
timeout 150 python3 "$root/tests/http/peers/http_peer.py" "$pport" "$www" &
pids+=($!)
wait_http "$nport" || { echo "http-peers: nginx did not start"; cat "$work/nginx-error.log"; exit 1; }
wait_http "$pport" || { echo "http-peers: python peer did not start"; exit 1; }
nginx_url=http://127.0.0.1:$nport
python_url=http://127.0.0.1:$pport

# same_as_curl NAME URL: each client's download equals curl's.
same_as_curl() {
  local name=$1 url=$2
  curl -s -o "$work/curl.out" "$url" || { fail "$name: curl failed"; return; }
  rm -f "$work/native.out" "$work/exe.out"
  if timeout 60 "$get_native" "$url" "$work/native.out"; then
    cmp -s "$work/curl.out" "$work/native.out" || fail "$name: native download differs from curl's"
  else
    fail "$name: native idhttp-get failed"
  fi
  if [ "$have_exe" = 1 ]; then
    if timeout 120 wine "$get_exe" "$url" "$(winpath "$work/exe.out")"; then
      cmp -s "$work/curl.out" "$work/exe.out" || fail "$name: .exe download differs from curl's"
    else
      fail "$name: idhttp-get.exe failed"
    fi
  fi
  echo "ok: $name ($(stat -c %s "$work/curl.out") bytes)"
}

# refused NAME URL EXPECTED: each client fails with exactly this text on stderr.
refused() {
  local name=$1 url=$2 expected=$3 rc
  timeout 60 "$get_native" "$url" "$work/refused.out" 2>"$work/err"
  rc=$?
  [ "$rc" = 1 ] || fail "$name: native exited with $rc"
  [ "$(tr -d '\r' <"$work/err")" = "$expected" ] || fail "$name: native said '$(cat "$work/err")'"
  [ -e "$work/refused.out" ] && fail "$name: native wrote a file"
  if [ "$have_exe" = 1 ]; then
    timeout 120 wine "$get_exe" "$url" "$(winpath "$work/refused.out")" 2>"$work/err"
    rc=$?
    [ "$rc" = 1 ] || fail "$name: .exe exited with $rc"
    [ "$(tr -d '\r' <"$work/err")" = "$expected" ] || fail "$name: .exe said '$(cat "$work/err")'"
    [ -e "$work/refused.out" ] && fail "$name: .exe wrote a file"
  fi
  echo "ok: $name"
}

same_as_curl "nginx random.bin" "$nginx_url/random.bin"
same_as_curl "nginx empty file" "$nginx_url/empty.txt"
same_as_curl "nginx escaped name" "$nginx_url/with%20space.txt"
same_as_curl "python random.bin (HTTP/1.0, Content-Length)" "$python_url/random.bin"
same_as_curl "python close-delimited body" "$python_url/close/random.bin"
refused "nginx 404" "$nginx_url/missing.zip" "EIdHTTPProtocolException: HTTP/1.1 404 Not Found"
refused "nginx 401" "$nginx_url/private/secret.txt" "EIdHTTPProtocolException: HTTP/1.1 401 Unauthorized"
closed_port=$(free_port)
refused "closed port" "http://127.0.0.1:$closed_port/x.zip" "EIdSocketError: Socket Error # 10061
Connection refused."
# The Digest peer itself is checked against curl first.
curl -s --digest -u user:pw -o "$work/digest.out" "$python_url/digest/secret.txt" && cmp -s "$work/digest.out" "$www/secret.txt" ||
  fail "python Digest peer does not accept curl's answer"

export TRAMELA_HTTP_NGINX=$nginx_url TRAMELA_HTTP_PYTHON=$python_url TRAMELA_HTTP_RANDOM_MD5=$random_md5
if ! timeout 120 "$native/tests/http/http_tests" --gtest_filter='HttpPeers.*' --gtest_brief=1; then fail "native http_tests peer cases"; fi
if [ "$have_exe" = 1 ]; then
  if ! timeout 300 wine "$windows/tests/http/http_tests.exe" --gtest_filter='HttpPeers.*' --gtest_brief=1; then
    fail ".exe http_tests peer cases"
  fi
fi

echo "http-peers: $failures failure(s)"
[ "$failures" = 0 ]
