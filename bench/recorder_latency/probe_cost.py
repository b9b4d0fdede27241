#!/usr/bin/python3
"""One click's accessibility probe, request by request, in each application of the latency
bench (bench_probe_cost on the spot the latency bench clicks).

    probe_cost.py BENCH_PROBE_COST [--rounds N] [--only NAME ...]
"""
import argparse
import subprocess
import sys
import tempfile

import latency

parser = argparse.ArgumentParser()
parser.add_argument("bench")
parser.add_argument("--rounds", type=int, default=20)
parser.add_argument("--only", nargs="*")
args = parser.parse_args()
with tempfile.TemporaryDirectory() as workdir:
    for name, start in latency.APPLICATIONS.items():
        if args.only and name not in args.only:
            continue
        app = start(workdir)
        try:
            latency.activate_window(app.wid)
            pid = app.group or int(subprocess.run(
                ["xdotool", "getwindowpid", str(app.wid)], capture_output=True, text=True,
                check=True).stdout)
            print(f"== {name}", flush=True)
            subprocess.run([args.bench, str(app.spot[0]), str(app.spot[1]), str(pid),
                            str(args.rounds)], check=False)
        finally:
            app.close()
sys.exit(0)
