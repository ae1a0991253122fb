#!/usr/bin/env python3
"""Capture figures of the capture filter under Wine, on one virtual display in one run:
- flat-out frames per second and CPU time per frame, beside a bare BitBlt loop (the platform's
  limit under Wine) and FFmpeg's X11 grabber, with the ratios;
- a static desktop at 800x600 and 25 fps with optcapture and optdeliver on and off: delivered
  frames and CPU time per second and per frame.
CPU time includes the X server's and the wineserver's, read over each timed window.

usage: capture_bench.py BUILD_DIR [SECONDS]
"""
import os
import re
import resource
import subprocess
import sys
import tempfile
import threading
import time

SIZES = [(1920, 1080), (640, 480)]
TARGET = 0.9  # ours/bare frames per second we aim for


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


def run_bench(session, build, args, seconds, servers, tuned=True):
    """Runs capture_bench.exe with ARGS; returns its figures with the servers' CPU time of its
    timed window (between its "measuring" and "measured" lines) added to cpu_ms."""
    env = dict(os.environ)
    if not tuned:
        env["ZELK_GLIBC_TUNABLES"] = ""
    command = ["scripts/wine-session", "run", session,
               os.path.join(build, "bin", "capture_bench.exe")] + [str(a) for a in args]
    with tempfile.TemporaryFile(mode="w+") as errors:
        process = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=errors,
                                   text=True)
        timer = threading.Timer(seconds + 90, process.kill)
        timer.start()
        lines, served = [], None
        for line in process.stdout:
            line = line.strip()
            lines.append(line)
            if line == "measuring":
                served = -server_cpu(servers)
            elif line == "measured" and served is not None:
                served += server_cpu(servers)
        process.wait()
        timer.cancel()
        errors.seek(0)
        stderr = errors.read()
    result = None
    for line in lines:
        match = re.match(r"(\S+) (\d+)x(\d+) (.*)$", line)
        if match and "frames=" in match.group(4):
            result = {k: float(v) for k, v in re.findall(r"(\w+)=([\d.]+)", match.group(4))}
            result["name"] = match.group(1)
    if process.returncode != 0 or result is None or served is None:
        sys.exit(f"capture_bench {' '.join(map(str, args))} failed ({process.returncode}): "
                 + "\n".join(lines) + stderr)
    result["cpu_ms"] += served * 1000.0
    frames = result["frames"]
    result["cpu_ms_per_frame"] = result["cpu_ms"] / frames if frames > 0 else None
    return result


def run_flat_out(session, build, args, seconds, servers, tuned=True):
    result = run_bench(session, build, args, seconds, servers, tuned)
    if result["frames"] < 1:
        sys.exit(f"capture_bench {' '.join(map(str, args))} captured nothing")
    return result["fps"], result["cpu_ms_per_frame"]


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


def per_frame(value):
    return "n/a" if value is None else f"{value:.2f}"


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
              "includes the X server's (and under Wine the wineserver's)")
        rows = []
        for width, height in SIZES:
            tuned_fps, tuned_cpu = run_flat_out(session, build, [width, height, seconds], seconds,
                                                servers)
            plain_fps, plain_cpu = run_flat_out(session, build, [width, height, seconds], seconds,
                                                servers, tuned=False)
            bare_fps, bare_cpu = run_flat_out(session, build, ["bare", width, height, seconds],
                                              seconds, servers)
            peer_fps, peer_cpu = run_ffmpeg(display, width, height, seconds, xserver)
            print(f"{width}x{height}: zelkgrab {tuned_fps:.1f} fps {tuned_cpu:.2f} ms CPU/frame "
                  f"(glibc default heap: {plain_fps:.1f} fps {plain_cpu:.2f} ms); "
                  f"bare BitBlt {bare_fps:.1f} fps {bare_cpu:.2f} ms CPU/frame; "
                  f"ffmpeg x11grab {peer_fps:.1f} fps {peer_cpu:.2f} ms CPU/frame; "
                  f"ours/bare fps {tuned_fps / bare_fps:.2f}; "
                  f"ours/ffmpeg fps {tuned_fps / peer_fps:.2f}, CPU {tuned_cpu / peer_cpu:.2f}")
            rows.append((f"{width}x{height}", tuned_fps, tuned_cpu, bare_fps, bare_cpu, peer_fps,
                         peer_cpu))

        print(f"static desktop: 800x600 at 25 fps, nothing changing, no panel, {seconds} s each")
        idle = []
        for flags in ("on", "off"):
            result = run_bench(session, build, ["static", flags, seconds], seconds, servers)
            per_second = result["cpu_ms"] / result["seconds"]
            print(f"optcapture+optdeliver {flags}: {int(result['frames'])} frames delivered "
                  f"({int(result['delivered'])} since the start), {per_second:.1f} ms CPU/s, "
                  f"{per_frame(result['cpu_ms_per_frame'])} ms CPU/frame")
            idle.append((flags, int(result["frames"]), per_second, result["cpu_ms_per_frame"]))

        print()
        print(f"summary: flat-out capture (target ours/bare >= {TARGET:.1f})")
        print(f"{'size':<10} {'ours fps':>9} {'ms/frame':>9} {'bare fps':>9} {'ms/frame':>9} "
              f"{'ours/bare':>9} {'ffmpeg fps':>10} {'ms/frame':>9} {'ours/ffmpeg':>11}")
        for size, fps, cpu, bare_fps, bare_cpu, peer_fps, peer_cpu in rows:
            print(f"{size:<10} {fps:>9.1f} {cpu:>9.2f} {bare_fps:>9.1f} {bare_cpu:>9.2f} "
                  f"{fps / bare_fps:>9.2f} {peer_fps:>10.1f} {peer_cpu:>9.2f} "
                  f"{fps / peer_fps:>11.2f}")
        print("summary: static desktop 800x600 at 25 fps (CPU: process, X server, wineserver)")
        print(f"{'optcapture+optdeliver':<22} {'frames':>7} {'ms CPU/s':>9} {'ms CPU/frame':>13}")
        for flags, frames, per_second, cpu in idle:
            print(f"{flags:<22} {frames:>7} {per_second:>9.1f} {per_frame(cpu):>13}")
        if idle[1][2] > 0:
            print(f"CPU per second, on/off: {idle[0][2] / idle[1][2]:.2f}")
    finally:
        subprocess.run(["scripts/wine-session", "stop", session])


if __name__ == "__main__":
    main()
