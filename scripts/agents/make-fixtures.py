#!/usr/bin/env python3
"""Turns one capture into fixtures: the first payload of each event (and any later one whose
fields differ), with the machine's paths and the run's ids replaced by stable placeholders.

    make-fixtures.py CAPTURE_DIR OUT_DIR PREFIX [VARIANT] [--home DIR] [--project DIR]

PREFIX is AGENT-VERSION; files are named PREFIX-EVENT[-VARIANT].json, EVENT in kebab case.
"""
import argparse
import glob
import json
import os
import re

UUID = re.compile(r"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")


def kebab(name):
    return re.sub(r"(?<=[a-z0-9])(?=[A-Z])", "-", name).lower()


def shape(value):
    if isinstance(value, dict):
        return {key: shape(item) for key, item in value.items()}
    if isinstance(value, list):
        return [shape(item) for item in value[:1]]
    return type(value).__name__


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("capture")
    parser.add_argument("out")
    parser.add_argument("prefix")
    parser.add_argument("variant", nargs="?", default="")
    parser.add_argument("--home", required=True)
    parser.add_argument("--project", required=True)
    args = parser.parse_args()
    ids = {}

    def scrub(text):
        text = text.replace(args.project, "/home/user/project").replace(args.home, "/home/user")
        text = text.replace(args.project.replace("/", "-"), "-home-user-project")
        return UUID.sub(lambda m: ids.setdefault(
            m.group(0), "00000000-0000-4000-8000-%012d" % (len(ids) + 1)), text)

    seen = {}
    for stdin in sorted(glob.glob(os.path.join(args.capture, "*.stdin"))):
        base = stdin[:-len(".stdin")]
        argv = open(base + ".argv").read().split("\n")
        text = open(stdin).read()
        try:
            payload = json.loads(text)
        except ValueError:
            continue
        event = argv[argv.index("--event") + 1] if "--event" in argv else payload.get(
            "hook_event_name", "unknown")
        shapes = seen.setdefault(event, [])
        if shape(payload) in shapes:
            continue
        shapes.append(shape(payload))
        name = "-".join(filter(None, [args.prefix, kebab(event), args.variant,
                                      str(len(shapes)) if len(shapes) > 1 else ""]))
        payload = json.loads(scrub(json.dumps(payload)))
        with open(os.path.join(args.out, name + ".json"), "w") as out:
            json.dump(payload, out, indent=2, ensure_ascii=False)
            out.write("\n")
        print(name + ".json")


main()
