#!/usr/bin/env python3
"""Prints one agent's captured hook calls in order (event, time the hook took) and the lines the
listener got, then the hook's total time.

    summarize-captures.py CAPTURE_DIR
"""
import glob
import json
import os
import sys

directory = sys.argv[1]
total_ms = 0.0
for stdin in sorted(glob.glob(os.path.join(directory, "*.stdin"))):
    base = stdin[:-len(".stdin")]
    argv = open(base + ".argv").read().split("\n")
    event = argv[argv.index("--event") + 1] if "--event" in argv else ""
    try:
        payload = json.load(open(stdin))
    except ValueError:
        payload = {}
    event = event or payload.get("hook_event_name", "?")
    timing = open(base + ".time").read().split() if os.path.exists(base + ".time") else []
    took = (int(timing[1]) - int(timing[0])) / 1e6 if timing else float("nan")
    total_ms += took if timing else 0
    print("%-22s %7.1f ms  %s" % (event, took, os.path.basename(base)))
print("hook time in the turn: %.1f ms" % total_ms)
signals = os.path.join(directory, "signals.log")
if os.path.exists(signals):
    print(open(signals).read(), end="")
