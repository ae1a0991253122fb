#!/usr/bin/env bash
# readUrl under Wine against a local HTTP server: serves the documents the UrlRead cases of
# config_tests expect from a temporary folder on 127.0.0.1 (a port the server picks itself)
# and runs those cases with the address in ZELK_TEST_URL_BASE. The server is ended by its id.
#   url_read_test.sh WINE_SESSION STATE_DIR CONFIG_TESTS_EXE WORK_DIR
set -u
[ $# -eq 4 ] || { echo "usage: $0 WINE_SESSION STATE_DIR CONFIG_TESTS_EXE WORK_DIR" >&2; exit 2; }
session=$1 state=$2 program=$3 work=$4/url_read
command -v python3 >/dev/null || { echo "python3 not found; run scripts/bootstrap" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work/served" || exit 1

server_pid=""
cleanup() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The same bytes as the test's kAnsiDocument and its 10000-byte pattern.
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<configuration name="caf\351 \200"/>\r\n' \
  >"$work/served/document.xml"
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 31 + 7) % 256 for i in range(10000)))' \
  >"$work/served/large.bin" || exit 1
# The test's kMarkedText with each byte-order mark.
python3 - "$work/served" <<'PYTHON' || exit 1
import sys
text = '<?xml version="1.0"?>\r\n<configuration name="caf\u00e9 \u20ac \u4e2d \U0001F600"/>\r\n'
for name, encoding in (("utf8", "utf-8-sig"), ("utf16le", "utf-16-le"), ("utf16be", "utf-16-be")):
    mark = {"utf16le": b"\xff\xfe", "utf16be": b"\xfe\xff"}.get(name, b"")
    with open(f"{sys.argv[1]}/{name}.xml", "wb") as served:
        served.write(mark + text.encode(encoding))
PYTHON
: >"$work/served/empty.xml"
printf '<configuration><params event="4242"/></configuration>' >"$work/served/config.xml"

# Port 0: the server binds a free port and names it in its first line.
timeout 100 python3 -u -m http.server --bind 127.0.0.1 --directory "$work/served" 0 \
  >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/^Serving HTTP on 127\.0\.0\.1 port \([0-9]*\) .*/\1/p' "$work/server.out")
  [ -n "$port" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$port" ] || { echo "FAIL: the HTTP server did not start: $(cat "$work/server.err")" >&2; exit 1; }

# No proxy of the environment may take the loopback requests elsewhere.
ZELK_TEST_URL_BASE="http://127.0.0.1:$port/" timeout 90 \
  env -u http_proxy -u HTTP_PROXY -u https_proxy -u HTTPS_PROXY -u all_proxy -u ALL_PROXY \
  "$session" run "$state" "$program" --gtest_color=no --gtest_filter='UrlRead*' \
  >"$work/test.out" 2>"$work/test.err"
rc=$?
tr -d '\r' <"$work/test.out"
[ "$rc" -eq 0 ] || { echo "FAIL: config_tests exited with $rc: $(tr -d '\r' <"$work/test.err")" >&2; exit 1; }
# A skip would mean the address never reached the program.
tr -d '\r' <"$work/test.out" | grep -q '^\[       OK \] UrlReadTest.ReadsDocumentsFromTheLocalServer' ||
  { echo "FAIL: the served-documents case did not run and pass" >&2; exit 1; }
tr -d '\r' <"$work/test.out" |
  grep -q '^\[       OK \] UrlReadConfigurationTest.RedirectToAUrlAppliesTheServedDocument' ||
  { echo "FAIL: the URL redirect case did not run and pass" >&2; exit 1; }
grep -q '"GET /large.bin ' "$work/server.err" ||
  { echo "FAIL: the server saw no request for large.bin" >&2; exit 1; }
echo "url read: all checks passed"
