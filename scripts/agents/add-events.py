#!/usr/bin/env python3
"""Adds the floodmark hook that `floodmark hook --install` wrote to the agent's other events
too, so that a capture sees every event the agent fires (the hook ignores those it does not use).

    add-events.py AGENT SETTINGS_FILE
"""
import copy
import json
import sys

EXTRA = {
    "claude-code": ["PostToolUse", "SubagentStart", "SubagentStop"],
    "codex": ["PostToolUse", "PostCompact", "SubagentStart", "SubagentStop"],
    "gemini-cli": [],
    "copilot-cli": ["subagentStop"],
}

agent, path = sys.argv[1], sys.argv[2]
settings = json.load(open(path))
hooks = settings["hooks"]
template = next(iter(hooks.values()))[-1]
for event in EXTRA[agent]:
    if event in hooks:
        continue  # installed already: a second entry would run the hook twice (Codex runs both)
    entry = copy.deepcopy(template)
    if agent == "copilot-cli":
        entry["bash"] = entry["bash"].replace(entry["bash"].split("--event ")[1].split()[0], event)
    hooks.setdefault(event, []).append(entry)
json.dump(settings, open(path, "w"), indent=2)
