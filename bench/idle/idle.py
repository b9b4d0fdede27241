#!/usr/bin/python3
"""CPU time and memory of an idle `stepreel` recording, focus poll running.

Run on an X desktop (scripts/bench-idle starts a private 2880x1800 one). A form window is
in front, the recorder runs with a parent that grants every permission request (so each
1.5 s focus poll does its full work), and nobody touches the desktop for the measured
window. CPU time is read from /proc/<pid>/stat at its start and end, after start-up.

    idle.py STEPREEL [--seconds S]
"""
import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "integration"))
from stepreel_harness import RecorderRun, TestWindow, activate  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """CPU time of all the process's threads: nanoseconds from schedstat where the kernel
    keeps it, else clock ticks from stat."""
    try:
        total = 0
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        return total / 1e9
    except (OSError, ValueError, IndexError):
        pass
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the whole line (1-based).
    return (int(fields[11]) + int(fields[12])) / TICKS


def memory_kib(pid):
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                values[key] = int(rest.split()[0])
    return values


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("stepreel")
    parser.add_argument("--seconds", type=float, default=60.0)
    args = parser.parse_args()

    window = TestWindow("Idle form", "IdleForm", (60, 60))
    activate(window)
    run = RecorderRun(stepreel=args.stepreel)
    try:
        run.wait_ready()
        run.wait_focus_polls(2)  # start-up done, the first dwell has begun
        pid = run.proc.pid
        polls_before = run.permits
        cpu_start = cpu_seconds(pid)
        started = time.monotonic()
        time.sleep(args.seconds)
        elapsed = time.monotonic() - started
        cpu = cpu_seconds(pid) - cpu_start
        polls = run.permits - polls_before
        memory = memory_kib(pid)
        total_cpu = cpu_seconds(pid)
        status = run.finish()
    finally:
        run.kill()
        window.close()
    if status != 0:
        raise SystemExit(f"idle: stepreel exited with status {status}")
    rss_mb = memory["VmRSS"] / 1024
    print(f"idle recording for {elapsed:.1f} s, {polls} focus polls answered:")
    print(f"  CPU time {cpu:.3f} s  (target <= 0.05; {total_cpu:.3f} s including start-up)")
    print(f"  resident {rss_mb:.1f} MB  (target <= 30; peak {memory['VmHWM'] / 1024:.1f} MB)")
    ok = cpu <= 0.05 and rss_mb <= 30
    print("idle:", "within targets" if ok else "OVER TARGET")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
