#!/usr/bin/env python3
"""Capture throughput of the capture filter under Wine beside FFmpeg's X11 grabber, on the same
virtual display in the same run. Prints frames per second, CPU time per frame and the ratios.

usage: capture_bench.py BUILD_DIR [SECONDS]
"""
import os
import re
import resource
import subprocess
import sys
import time

SIZES = [(1920, 1080), (640, 480)]


def server_cpu(pids):
    """CPU seconds the X server and the wineserver spent so far: grabbing is their work too."""
    ticks = os.sysconf("SC_CLK_TCK")
    total = 0.0
    for pid in pids:
        with open(f"/proc/{pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        total += (int(fields[11]) + int(fields[12])) / ticks
    return total


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_ours(session, build, width, height, seconds, tuned, servers):
    env = dict(os.environ)
    if not tuned:
        env["ZELK_GLIBC_TUNABLES"] = ""
    command = ["scripts/wine-session", "run", session, os.path.join(build, "bin", "capture_bench.exe"),
               str(width), str(height), str(seconds)]
    before = server_cpu(servers)
    out = subprocess.run(command, env=env, capture_output=True, text=True, timeout=seconds + 60)
    served = server_cpu(servers) - before
    match = re.search(r"frames=(\d+) seconds=[\d.]+ fps=([\d.]+) cpu_ms_per_frame=([\d.]+)",
                      out.stdout)
    if out.returncode != 0 or not match:
        sys.exit(f"capture_bench failed ({out.returncode}): {out.stdout}{out.stderr}")
    frames = int(match.group(1))
    # Server time covers the whole run, start-up included: an upper bound per frame.
    return float(match.group(2)), float(match.group(3)) + served * 1000.0 / frames


def run_ffmpeg(display, width, height, seconds, servers):
    command = ["ffmpeg", "-hide_banner", "-nostats", "-loglevel", "info", "-f", "x11grab",
               "-framerate", "10000", "-video_size", f"{width}x{height}", "-i", f"{display}+0,0",
               "-t", str(seconds), "-f", "null", "-"]
    cpu_before = children_cpu() + server_cpu(servers)
    started = time.monotonic()
    out = subprocess.run(command, capture_output=True, text=True, timeout=seconds + 60,
                         env=dict(os.environ, DISPLAY=display))
    elapsed = time.monotonic() - started
    cpu = children_cpu() + server_cpu(servers) - cpu_before
    frames = re.findall(r"frame=\s*(\d+)", out.stderr)
    if out.returncode != 0 or not frames:
        sys.exit(f"ffmpeg failed ({out.returncode}): {out.stderr[-2000:]}")
    count = int(frames[-1])
    # ffmpeg's own start-up is part of its CPU time; it is small beside seconds of grabbing.
    return count / min(elapsed, seconds), cpu * 1000.0 / max(count, 1)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    session = os.path.join(build, "bench-wine")
    subprocess.run(["scripts/wine-session", "start", session], check=True)
    try:
        state = {}
        with open(os.path.join(session, "session.env")) as lines:
            for line in lines:
                key, _, value = line.strip().partition("=")
                state[key] = value
        display = state["DISPLAY"]
        xserver = [state["XVFB_PID"]]
        servers = xserver + [state["WINESERVER_PID"]]
        print(f"capture throughput on display {display}, {seconds} s each; CPU per frame "
              "includes the X server's (and for us the wineserver's)")
        for width, height in SIZES:
            tuned_fps, tuned_cpu = run_ours(session, build, width, height, seconds, True, servers)
            plain_fps, plain_cpu = run_ours(session, build, width, height, seconds, False, servers)
            peer_fps, peer_cpu = run_ffmpeg(display, width, height, seconds, xserver)
            print(f"{width}x{height}: zelkgrab {tuned_fps:.1f} fps {tuned_cpu:.2f} ms CPU/frame "
                  f"(glibc default heap: {plain_fps:.1f} fps {plain_cpu:.2f} ms); "
                  f"ffmpeg x11grab {peer_fps:.1f} fps {peer_cpu:.2f} ms CPU/frame; "
                  f"fps ratio {tuned_fps / peer_fps:.2f}, CPU ratio {tuned_cpu / peer_cpu:.2f}")
    finally:
        subprocess.run(["scripts/wine-session", "stop", session])


if __name__ == "__main__":
    main()
