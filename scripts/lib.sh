# Shared shell helpers for the project's scripts; sourced, not run.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# configure_and_build PRESET: configure once, then build incrementally.
configure_and_build() {
  local preset=$1
  if [ ! -f "$root/build/$preset/build.ninja" ]; then
    cmake --preset "$preset" -S "$root" >/dev/null
  fi
  cmake --build "$root/build/$preset" -- -j"${JOBS:-2}"
}

# The modules Windows maps from its own copies whatever lies beside a program
# (KnownDLLs of every Windows from 7 on), the only ones the installer may
# import; ws2_32 and normaliz are on the list as well, but are loaded at run
# time with the rest of the socket stack. An extended regular expression.
known_dlls='^(kernel32|user32|gdi32|advapi32|msvcrt|shell32|ole32|oleaut32|comdlg32|shlwapi|imm32|psapi|rpcrt4|setupapi|imagehlp|wldap32)\.dll$'

# wine_env PREFIXDIR: the settings every Wine start of the project uses.
wine_env() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml="
}

# wine_server_up: the prefix's server, started before Wine programs that start
# together (the installer and its driver): two first clients at once may each
# start one, and one of them is then left without a server.
wine_server_up() { wineserver -p5 >/dev/null 2>&1 || true; }

# wine_prefix_init: make the prefix once, before parallel Wine starts race to do it.
wine_prefix_init() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}

# start_xvfb: give this shell a display when it has none; stop_xvfb ends it again.
xvfb_pid=
start_xvfb() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${TRAMELA_FORCE_XVFB:-}" ]; then return 0; fi
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
      xvfb_pid=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
      echo "Xvfb did not start on :$n" >&2; return 1
    fi
  done
  echo "no free X display number" >&2; return 1
}
stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; xvfb_pid=; fi
}

# fuzz_build TARGET: configures the fuzz preset once and builds one target.
fuzz_build() {
  local build=$root/build/fuzz log
  export CCACHE_DIR=${CCACHE_DIR:-$root/build/ccache}
  if [ ! -f "$build/build.ninja" ]; then
    timeout 300 cmake --preset fuzz -S "$root" >/dev/null || return 1
  fi
  log=$(mktemp)
  if ! timeout 600 cmake --build "$build" --target "$1" -- -j"${JOBS:-2}" >"$log" 2>&1; then
    cat "$log"; rm -f "$log"; return 1
  fi
  rm -f "$log"
}

# fuzz_run NAME FUZZER SEEDS REGRESSIONS MAXLEN: replays the kept crash inputs,
# then fuzzes for about a minute from the seeds; non-zero on a crash, whose
# input stays in build/fuzz/NAME-artifacts/.
fuzz_run() {
  local name=$1 fuzzer=$2 seeds=$3 regressions_dir=$4 max_len=$5
  local corpus=$root/build/fuzz/$name-corpus artifacts=$root/build/fuzz/$name-artifacts status
  mkdir -p "$corpus" "$artifacts"
  local regressions=("$regressions_dir"/*)
  if [ -e "${regressions[0]}" ]; then
    timeout 120 "$fuzzer" -runs=0 "${regressions[@]}" >/dev/null 2>&1 || { echo "a kept crash input fails again"; return 1; }
  fi
  timeout 180 "$fuzzer" -max_total_time=60 -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
    -artifact_prefix="$artifacts/" "$corpus" "$seeds" 2>&1 | tail -n 3
  status=${PIPESTATUS[0]}
  [ "$status" = 0 ] || echo "$name fuzzing found a failure (exit $status); inputs in $artifacts"
  return "$status"
}

# sign_package KEY PACKAGE VERSION: writes PACKAGE.sig for package-version
# VERSION with the native sign-package tool (built here when missing). KEY
# defaults to the development key that builds without TRAMELA_PACKAGE_KEYS
# trust, made by configuring any preset. The project's own packages are
# version 1, which every build accepts unless TRAMELA_MIN_PACKAGE_VERSION is raised.
sign_package() {
  local key=${1:-$root/build/keys/package-key.pem} package=$2 version=${3:?sign_package: no package-version}
  if [ ! -x "$root/build/native/tools/sign-package/sign-package" ]; then
    if [ ! -f "$root/build/native/build.ninja" ]; then
      cmake --preset native -S "$root" >/dev/null || return 1
    fi
    cmake --build "$root/build/native" --target sign-package -- -j"${JOBS:-2}" >/dev/null || return 1
  fi
  "$root/build/native/tools/sign-package/sign-package" --version "$version" "$key" "$package"
}

# free_port: a TCP port on 127.0.0.1 that nobody listens on now.
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

# wait_http PORT: until 127.0.0.1:PORT answers HTTP, at most about 10 s.
wait_http() {
  local i
  for i in $(seq 1 100); do curl -s -o /dev/null --max-time 1 "http://127.0.0.1:$1/" && return 0; sleep 0.1; done
  return 1
}

# write_nginx_conf WORK PORT ROOT [HTTP-SETTINGS [SERVER-SETTINGS]]: WORK/nginx.conf
# for an nginx on 127.0.0.1:PORT serving ROOT, its pid, error log and temporary
# files in WORK. Whether it runs in the foreground (nginx -g 'daemon off;') and
# what it logs per request are the caller's.
write_nginx_conf() {
  local work=$1 port=$2 www=$3 http_extra=${4:-} server_extra=${5:-}
  mkdir -p "$work/tmp"
  cat >"$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 64; }
http {
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  $http_extra
  server {
    listen 127.0.0.1:$port;
    root $www;
    $server_extra
  }
}
CONF
}
