#!/usr/bin/env python3
"""A model server on 127.0.0.1 that scripts one turn for a coding agent, in its own wire format.

The turn: a shell call (`ls`), then a call that fails with exit status 2, then a short text.
It speaks Anthropic Messages (Claude Code), OpenAI Responses (Codex), OpenAI Chat Completions
(Copilot CLI's own provider) and Gemini's generateContent (Gemini CLI), all streamed as SSE.
A prompt holding FLOODMARK_429 is answered with a rate limit instead; one holding FLOODMARK_WRITE
starts with a command that writes (`touch`), which agents ask the user to approve.

    mock-model.py PORT LOGFILE
"""

import json
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

FIRST = "ls"
WRITE = "touch floodmark-approval.txt"  # a first command that asks for approval: FLOODMARK_WRITE
FAILING = "ls /floodmark-no-such-dir"  # GNU ls exits 2 here
TEXT = "Listed the files; the second directory does not exist."
SHELL_NAMES = ("Bash", "bash", "shell", "shell_command", "exec_command", "run_shell_command")


def next_command(last_command, body):
    """What the script does next, given the last command it asked for (None: a fresh prompt)."""
    if last_command is None:
        return WRITE if "FLOODMARK_WRITE" in json.dumps(body) else FIRST
    if last_command in (FIRST, WRITE):
        return FAILING
    return None  # the text


def arguments_for(schema, command):
    """Arguments for a shell tool, filled from its JSON schema."""
    props = (schema or {}).get("properties", {})
    args = {}
    for name, prop in props.items():
        kind = prop.get("type")
        if name in ("command", "cmd"):
            args[name] = ["bash", "-lc", command] if kind == "array" else command
        elif name == "description":
            args[name] = "List files"
    for name in (schema or {}).get("required", []):
        if name not in args:
            kind = props.get(name, {}).get("type")
            args[name] = {"boolean": False, "integer": 0, "number": 0, "array": []}.get(kind, "x")
    return args


def find_tool(tools, pick_schema):
    for wanted in SHELL_NAMES:
        for tool in tools:
            found = pick_schema(tool)
            if found and found[0] == wanted:
                return found
    return None


def sse(events):
    out = []
    for name, data in events:
        if name:
            out.append("event: %s\n" % name)
        out.append("data: %s\n\n" % (data if isinstance(data, str) else json.dumps(data)))
    return "".join(out).encode()


def text_of(value):
    if isinstance(value, str):
        return value
    if isinstance(value, list):
        return " ".join(text_of(v) for v in value)
    if isinstance(value, dict):
        return " ".join(text_of(v) for v in value.values())
    return ""


# --- Anthropic Messages -------------------------------------------------------------------

def anthropic(body):
    messages = body.get("messages", [])
    last_command = None
    if messages and messages[-1].get("role") == "user":
        content = messages[-1].get("content")
        if isinstance(content, list) and any(b.get("type") == "tool_result" for b in content):
            for message in reversed(messages[:-1]):
                uses = [b for b in message.get("content", []) if isinstance(b, dict)
                        and b.get("type") == "tool_use"]
                if message.get("role") == "assistant" and uses:
                    last_command = uses[-1].get("input", {}).get("command", "")
                    break
    tool = find_tool(body.get("tools", []),
                     lambda t: (t.get("name"), t.get("input_schema")) if "name" in t else None)
    command = next_command(last_command, body) if tool else None
    message = {"id": "msg_mock", "type": "message", "role": "assistant", "model": body.get("model"),
               "content": [], "stop_reason": None, "stop_sequence": None,
               "usage": {"input_tokens": 10, "output_tokens": 1}}
    if command:
        block = {"type": "tool_use", "id": "toolu_mock%d" % len(messages), "name": tool[0],
                 "input": {}}
        delta = {"type": "input_json_delta",
                 "partial_json": json.dumps(arguments_for(tool[1], command))}
        stop = "tool_use"
    else:
        block = {"type": "text", "text": ""}
        delta = {"type": "text_delta", "text": TEXT}
        stop = "end_turn"
    if not body.get("stream"):
        final = dict(block)
        if command:
            final["input"] = json.loads(delta["partial_json"])
        else:
            final["text"] = TEXT
        message.update(content=[final], stop_reason=stop)
        return "application/json", json.dumps(message).encode()
    return "text/event-stream", sse([
        ("message_start", {"type": "message_start", "message": message}),
        ("content_block_start", {"type": "content_block_start", "index": 0, "content_block": block}),
        ("content_block_delta", {"type": "content_block_delta", "index": 0, "delta": delta}),
        ("content_block_stop", {"type": "content_block_stop", "index": 0}),
        ("message_delta", {"type": "message_delta",
                           "delta": {"stop_reason": stop, "stop_sequence": None},
                           "usage": {"output_tokens": 5}}),
        ("message_stop", {"type": "message_stop"}),
    ])


# --- OpenAI Responses ---------------------------------------------------------------------

def responses(body):
    items = body.get("input", [])
    if isinstance(items, str):
        items = []
    last_command = None
    if items and items[-1].get("type") in ("function_call_output", "custom_tool_call_output"):
        for item in reversed(items):
            if item.get("type") == "function_call":
                args = json.loads(item.get("arguments") or "{}")
                command = args.get("command", args.get("cmd", ""))
                last_command = command[-1] if isinstance(command, list) else command
                break
    tool = find_tool(body.get("tools", []),
                     lambda t: (t.get("name"), t.get("parameters")) if t.get("type") == "function"
                     else None)
    command = next_command(last_command, body) if tool else None
    usage = {"input_tokens": 10, "input_tokens_details": None, "output_tokens": 5,
             "output_tokens_details": None, "total_tokens": 15}
    if command:
        item = {"type": "function_call", "name": tool[0], "call_id": "call_mock%d" % len(items),
                "arguments": json.dumps(arguments_for(tool[1], command))}
    else:
        item = {"type": "message", "role": "assistant", "id": "msg_mock",
                "content": [{"type": "output_text", "text": TEXT}]}
    return "text/event-stream", sse([
        ("response.created", {"type": "response.created", "response": {"id": "resp_mock"}}),
        ("response.output_item.done", {"type": "response.output_item.done", "item": item}),
        ("response.completed", {"type": "response.completed",
                                "response": {"id": "resp_mock", "usage": usage}}),
    ])


# --- OpenAI Chat Completions --------------------------------------------------------------

def chat(body):
    messages = body.get("messages", [])
    last_command = None
    if messages and messages[-1].get("role") == "tool":
        for message in reversed(messages):
            if message.get("role") == "assistant" and message.get("tool_calls"):
                args = json.loads(message["tool_calls"][-1]["function"].get("arguments") or "{}")
                last_command = args.get("command", "")
                break
    tool = find_tool(body.get("tools", []),
                     lambda t: (t["function"].get("name"), t["function"].get("parameters"))
                     if t.get("type") == "function" else None)
    command = next_command(last_command, body) if tool else None
    def chunk(delta, finish=None):
        return {"id": "chatcmpl-mock", "object": "chat.completion.chunk", "created": 0,
                "model": body.get("model"),
                "choices": [{"index": 0, "delta": delta, "finish_reason": finish}]}
    if command:
        call = {"index": 0, "id": "call_mock%d" % len(messages), "type": "function",
                "function": {"name": tool[0], "arguments": json.dumps(arguments_for(tool[1], command))}}
        first, finish = chunk({"role": "assistant", "content": None, "tool_calls": [call]}), "tool_calls"
    else:
        first, finish = chunk({"role": "assistant", "content": TEXT}), "stop"
    last = chunk({}, finish)
    last["usage"] = {"prompt_tokens": 10, "completion_tokens": 5, "total_tokens": 15}
    return "text/event-stream", sse([(None, first), (None, last), (None, "[DONE]")])


# --- Gemini -------------------------------------------------------------------------------

def gemini(body, streamed):
    contents = body.get("contents", [])
    last_command = None
    if contents and any("functionResponse" in p for p in contents[-1].get("parts", [])):
        for content in reversed(contents):
            calls = [p["functionCall"] for p in content.get("parts", []) if "functionCall" in p]
            if calls:
                last_command = calls[-1].get("args", {}).get("command", "")
                break
    declarations = [d for t in body.get("tools", []) for d in t.get("functionDeclarations", [])]
    tool = find_tool(declarations,
                     lambda d: (d.get("name"), d.get("parametersJsonSchema") or d.get("parameters")))
    command = next_command(last_command, body) if tool else None
    if command:
        part = {"functionCall": {"name": tool[0], "args": arguments_for(tool[1], command)}}
    else:
        part = {"text": TEXT}
    answer = {"candidates": [{"content": {"role": "model", "parts": [part]},
                              "finishReason": "STOP", "index": 0}],
              "usageMetadata": {"promptTokenCount": 10, "candidatesTokenCount": 5,
                                "totalTokenCount": 15},
              "modelVersion": "gemini-2.5-flash"}
    if not streamed:
        return "application/json", json.dumps(answer).encode()
    return "text/event-stream", sse([(None, answer)])


RATE_LIMITS = {
    "anthropic": {"type": "error", "error": {"type": "rate_limit_error",
                                             "message": "Rate limit exceeded"}},
    "openai": {"error": {"message": "Rate limit reached. Please try again later.",
                         "type": "rate_limit_exceeded", "code": "rate_limit_exceeded"}},
    "gemini": {"error": {"code": 429, "message": "Resource has been exhausted",
                         "status": "RESOURCE_EXHAUSTED"}},
}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, kind, data, extra=()):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(data)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        self.record({})
        if "models" in self.path:
            models = [{"id": "mock-model", "object": "model", "created": 0, "owned_by": "mock"}]
            return self.answer(200, "application/json",
                               json.dumps({"object": "list", "data": models, "models": []}).encode())
        self.answer(404, "application/json", b"{}")

    def record(self, body):
        with open(self.server.log, "a") as log:
            asked = body.get("messages") or body.get("input") or body.get("contents") or [""]
            log.write(json.dumps({"method": self.command, "path": self.path, "keys": sorted(body),
                                  "last": text_of(asked[-1])[-300:]}) + "\n")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length) if length else b"{}"
        try:
            body = json.loads(raw or b"{}")
        except ValueError:
            body = {}
        self.record(body)
        path = self.path.split("?")[0]
        family = ("gemini" if ":" in path or "/models/" in path else
                  "anthropic" if path.endswith("/messages") else "openai")
        if path.endswith("count_tokens") or path.endswith(":countTokens"):
            return self.answer(200, "application/json",
                               json.dumps({"input_tokens": 10, "totalTokens": 10}).encode())
        asked = body.get("messages") or body.get("input") or body.get("contents") or [""]
        if "FLOODMARK_429" in text_of(asked[-2:] if isinstance(asked, list) else asked):
            return self.answer(429, "application/json", json.dumps(RATE_LIMITS[family]).encode(),
                               [("Retry-After", "1")])
        if family == "anthropic":
            kind, data = anthropic(body)
        elif family == "gemini":
            kind, data = gemini(body, "streamGenerateContent" in path)
        elif path.endswith("/responses"):
            kind, data = responses(body)
        else:
            kind, data = chat(body)
        self.answer(200, kind, data)


def main():
    port, log = int(sys.argv[1]), sys.argv[2]
    server = ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.log = log
    server.serve_forever()


if __name__ == "__main__":
    main()
