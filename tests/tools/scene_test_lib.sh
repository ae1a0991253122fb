# Sourced by the recorder's shell tests that record the demo scene under Wine. Expects
# $session, $state, $bin and the current folder set; keeps the scene's process id and the
# failure count. Each filter saves its settings for the next one, so the tests start from none
# and leave none behind.
failures=0
scene_pid=""
keep_work_on_failure=""

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

forget_settings() {
  local key
  for key in Zelkgrab Zelkenc; do
    timeout 60 "$session" run "$state" reg delete "HKLM\\SOFTWARE\\MorvainLabs\\$key" /f \
      >/dev/null 2>&1
  done
}

stop_scene() {
  if [ -n "$scene_pid" ] && kill -0 "$scene_pid" 2>/dev/null; then
    kill "$scene_pid" 2>/dev/null
    wait "$scene_pid" 2>/dev/null
  fi
  scene_pid=""
}

# The recordings and pictures are large: the work folder goes unless something failed.
finish() {
  forget_settings
  stop_scene
  if [ -n "$keep_work_on_failure" ] && [ "$failures" -eq 0 ]; then
    rm -rf "$keep_work_on_failure"
  fi
}

# launch_scene ARGS...: starts the demo scene and waits until it says it shows or ends. It ends
# by itself after 60 s at the latest; `timeout` bounds it as well.
launch_scene() {
  timeout 90 "$session" run "$state" "$bin/demo_scene.exe" "$@" --seconds 60 \
    >scene.out 2>scene.err &
  scene_pid=$!
  for _ in $(seq 200); do
    grep -q '^demo_scene: ready' scene.out 2>/dev/null && break
    kill -0 "$scene_pid" 2>/dev/null || break
    sleep 0.1
  done
}

# start_scene EXPECTED_READY_LINE ARGS...: shows the demo scene.
start_scene() {
  local ready=$1
  shift
  launch_scene "$@"
  # Wine has been seen to end a program's start with no output at all on fresh CI machines;
  # a second start tells that from a scene that does not show.
  if ! kill -0 "$scene_pid" 2>/dev/null && [ ! -s scene.out ] && [ ! -s scene.err ]; then
    echo "note: the demo scene ended at once with no output; starting it once more" >&2
    launch_scene "$@"
  fi
  grep -q "^$ready" scene.out ||
    { fail "the demo scene did not report that it shows: $(cat scene.out scene.err)"; exit 1; }
}

# zelkrec ARGS...: runs the recorder in the current folder; output in out and err (CRs and
# the sound system's noise removed), exit code in $rc.
zelkrec() {
  timeout 120 "$session" run "$state" "$bin/zelkrec.exe" "$@" >out.raw 2>err.raw
  rc=$?
  tr -d '\r' <out.raw >out
  tr -d '\r' <err.raw | grep -v '^ALSA lib' >err
}
