#!/usr/bin/env python3
"""Writes the benchmark inputs (never committed) below the folder given as the first argument:

  claude/.claude/projects/-home-ada-app/<uuid>.jsonl   a Claude Code transcript of >= 200 MB
  codex/.codex/sessions/2026/01/05/rollout-*.jsonl     a Codex session of >= 50 MB
  tree/.claude/projects/<500 folders>/<20 each>.jsonl  10,000 small transcripts
  tree/.codex/sessions/2025/MM/DD/rollout-*.jsonl      the same count in the Codex layout
  tree-50k/.claude/projects/<2500 folders>/<20 each>.jsonl   50,000 small transcripts
  expected.json                                        the totals the reader must report

With --sizes MB,MB,... it writes instead, for each size, a home with a Claude Code transcript
(claude-<MB>/) and one with a Codex session (codex-<MB>/) of at least that many megabytes, and
their totals in expected.json under "claude-code-<MB>" and "codex-<MB>".

Output is deterministic (fixed seed), so runs compare."""

import datetime
import json
import os
import random
import sys
import uuid

CLAUDE_BYTES = 210 * 1000 * 1000
CODEX_BYTES = 55 * 1000 * 1000
TREE_FOLDERS = 500
TREE_FILES_PER_FOLDER = 20

rng = random.Random(20260105)


def make_pool():
    words = ("the parser reads only appended lines and keeps counters per file while the overlay "
             "polls every second cache window context tokens function return value error "
             "const auto std::string_view QString int64_t résumé naïve “quoted” — ✓ 🚀 "
             "if (x > 0) { return y; } path/to/file.cpp:42 TODO fix later").split(" ")
    parts = []
    size = 0
    while size < 2_000_000:
        r = rng.random()
        if r < 0.05:
            piece = "\n"
        elif r < 0.07:
            piece = '"' + rng.choice(words) + '"'
        elif r < 0.08:
            piece = "\\" + rng.choice(words)
        elif r < 0.09:
            piece = "\t"
        else:
            piece = rng.choice(words) + " "
        parts.append(piece)
        size += len(piece)
    return "".join(parts)


POOL = make_pool()


def text(n):
    start = rng.randrange(0, len(POOL) - n - 1) if n < len(POOL) - 1 else 0
    chunk = POOL[start:start + n]
    while len(chunk) < n:
        chunk += POOL[: n - len(chunk)]
    return chunk


def dump(obj):
    return json.dumps(obj, ensure_ascii=False, separators=(",", ":")) + "\n"


class Clock:
    def __init__(self):
        self.t = datetime.datetime(2026, 1, 5, 9, 0, 0, tzinfo=datetime.timezone.utc)

    def tick(self):
        self.t += datetime.timedelta(milliseconds=rng.randrange(200, 9000))
        return self.t.strftime("%Y-%m-%dT%H:%M:%S.") + f"{self.t.microsecond // 1000:03d}Z"


def claude_transcript(path, target=CLAUDE_BYTES):
    session = str(uuid.UUID(int=rng.getrandbits(128)))
    clock = Clock()
    base = {"isSidechain": False, "userType": "external", "cwd": "/home/ada/app",
            "sessionId": session, "version": "2.0.31", "gitBranch": "main"}
    # A message id counts its last line; lines without an id all count.
    state = {"window": None, "used": 0, "last": {}, "anonymous": [0, 0, 0, 0], "parent": None,
             "lines": 0, "kinds": {}}

    def common(kind):
        u = str(uuid.UUID(int=rng.getrandbits(128)))
        record = dict(base, parentUuid=state["parent"], type=kind, uuid=u, timestamp=clock.tick())
        state["parent"] = u
        return record

    def count(kind):
        state["kinds"][kind] = state["kinds"].get(kind, 0) + 1

    def apply(message):
        usage = message["usage"]
        r, w = usage["cache_read_input_tokens"], usage["cache_creation_input_tokens"]
        i, o = usage["input_tokens"], usage["output_tokens"]
        mid = message.get("id")
        if isinstance(mid, str):
            state["last"][mid] = (r, w, i, o)
        else:
            state["anonymous"] = [a + b for a, b in zip(state["anonymous"], (r, w, i, o))]
        state["used"] = r + w + i
        if state["window"] is None:
            model = message.get("model", "")
            if "[1m]" in model:
                state["window"] = 1000000
            elif model.startswith("claude-"):
                state["window"] = 200000

    written = 0
    context = 20000
    with open(path, "w", encoding="utf-8") as out:
        for _ in range(3):
            out.write(dump({"type": "summary", "summary": text(80).replace("\n", " "),
                            "leafUuid": str(uuid.UUID(int=rng.getrandbits(128)))}))
            count("summary")
        turn = 0
        while written < target:
            turn += 1
            if turn % 40 == 1:
                backups = {f"/home/ada/app/src/file{n}.cpp": {
                    "backupFileName": f"{uuid.UUID(int=rng.getrandbits(128))}@v{n}",
                    "version": n, "backupTime": clock.tick()} for n in range(rng.randrange(5, 120))}
                line = dump({"type": "file-history-snapshot", "messageId": str(uuid.UUID(int=rng.getrandbits(128))),
                             "snapshot": {"messageId": "m", "trackedFileBackups": backups,
                                          "timestamp": clock.tick()}, "isSnapshotUpdate": turn > 1})
                out.write(line)
                written += len(line.encode())
                count("file-history-snapshot")
            prompt = common("user")
            prompt["message"] = {"role": "user", "content": text(rng.randrange(200, 3000))}
            line = dump(prompt)
            out.write(line)
            written += len(line.encode())
            count("user prompt")
            for step in range(rng.randrange(1, 6)):
                message_id = "msg_01" + "".join(rng.choice("ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz0123456789") for _ in range(22))
                read = context
                write = rng.randrange(100, 8000)
                fresh = rng.randrange(1, 12)
                context += write
                if context > 180000:
                    context = 20000
                model = "claude-sonnet-4-5-20250929"
                blocks = [("thinking", rng.randrange(300, 8000))] if rng.random() < 0.5 else []
                blocks.append(("text", rng.randrange(100, 4000)))
                if rng.random() < 0.8:
                    blocks.append(("tool_use", rng.randrange(100, 20000)))
                output = 0
                for kind, size in blocks:
                    output += rng.randrange(5, 400)
                    record = common("assistant")
                    if kind == "thinking":
                        content = [{"type": "thinking", "thinking": text(size), "signature": text(200).encode("utf-8").hex()[:300]}]
                    elif kind == "text":
                        content = [{"type": "text", "text": text(size)}]
                    else:
                        content = [{"type": "tool_use", "id": "toolu_" + message_id[6:], "name": "Edit",
                                    "input": {"file_path": "/home/ada/app/src/parser.cpp",
                                              "old_string": text(size // 2), "new_string": text(size // 2)}}]
                    message = {"model": model, "id": message_id, "type": "message", "role": "assistant",
                               "content": content, "stop_reason": None, "stop_sequence": None,
                               "usage": {"input_tokens": fresh, "cache_creation_input_tokens": write,
                                         "cache_read_input_tokens": read,
                                         "cache_creation": {"ephemeral_5m_input_tokens": write, "ephemeral_1h_input_tokens": 0},
                                         "output_tokens": output, "service_tier": "standard"}}
                    record["message"] = message
                    record["requestId"] = "req_011" + message_id[6:]
                    apply(message)
                    line = dump(record)
                    out.write(line)
                    written += len(line.encode())
                    count("assistant (same id repeated)")
                if blocks[-1][0] == "tool_use":
                    r = rng.random()
                    size = rng.randrange(1500000, 3000000) if r < 0.004 else (
                        rng.randrange(50000, 300000) if r < 0.15 else rng.randrange(500, 20000))
                    body = text(size)
                    record = common("user")
                    record["message"] = {"role": "user", "content": [
                        {"tool_use_id": "toolu_" + message_id[6:], "type": "tool_result", "content": body}]}
                    record["toolUseResult"] = {"stdout": body, "stderr": "", "interrupted": False, "isImage": False}
                    line = dump(record)
                    out.write(line)
                    written += len(line.encode())
                    count("tool result")
            if rng.random() < 0.03:
                record = common("assistant")
                record["isSidechain"] = True
                message = {"model": "<synthetic>", "role": "assistant", "type": "message",
                           "content": [{"type": "text", "text": "No response requested."}],
                           "usage": {"input_tokens": 0, "output_tokens": 0, "cache_creation_input_tokens": 0,
                                     "cache_read_input_tokens": 0}}
                record["message"] = message
                apply(message)
                line = dump(record)
                out.write(line)
                written += len(line.encode())
                count("assistant without id")
            if rng.random() < 0.02:
                record = common("system")
                record.update({"subtype": "compact_boundary", "content": "Conversation compacted",
                               "isMeta": False, "level": "info",
                               "compactMetadata": {"trigger": "auto", "preTokens": context}})
                line = dump(record)
                out.write(line)
                written += len(line.encode())
                count("system")
    totals = list(state["anonymous"])
    for counters in state["last"].values():
        totals = [a + b for a, b in zip(totals, counters)]
    return {"cache_read": totals[0], "cache_write": totals[1], "fresh_input": totals[2],
            "output": totals[3], "context_window": state["window"], "context_used": state["used"],
            "lines_by_kind": state["kinds"]}


def codex_session(path, target=CODEX_BYTES):
    clock = Clock()
    totals = None
    last_input = 0
    window = None
    kinds = {}
    written = 0

    def put(out, obj, kind):
        nonlocal written
        line = dump(obj)
        out.write(line)
        written += len(line.encode())
        kinds[kind] = kinds.get(kind, 0) + 1

    cached = inp = outp = reasoning = 0
    with open(path, "w", encoding="utf-8") as out:
        put(out, {"timestamp": clock.tick(), "type": "session_meta", "payload": {
            "id": "0199a1b2-c3d4", "timestamp": clock.tick(), "cwd": "/home/ada/app", "originator": "codex_cli_rs",
            "cli_version": "0.46.0", "instructions": None, "git": {"commit_hash": "abc", "branch": "main"}}}, "session_meta")
        while written < target:
            put(out, {"timestamp": clock.tick(), "type": "turn_context", "payload": {
                "cwd": "/home/ada/app", "approval_policy": "on-request", "sandbox_policy": {"mode": "workspace-write"},
                "model": "gpt-5-codex", "effort": "medium", "summary": "auto"}}, "turn_context")
            put(out, {"timestamp": clock.tick(), "type": "response_item", "payload": {
                "type": "message", "role": "user", "content": [{"type": "input_text", "text": text(rng.randrange(200, 3000))}]}}, "user message")
            put(out, {"timestamp": clock.tick(), "type": "event_msg", "payload": {
                "type": "token_count", "info": None, "rate_limits": {"primary": {"used_percent": 3.0, "window_minutes": 300}}}}, "token_count info null")
            for _ in range(rng.randrange(1, 6)):
                put(out, {"timestamp": clock.tick(), "type": "response_item", "payload": {
                    "type": "reasoning", "summary": [{"type": "summary_text", "text": text(rng.randrange(100, 800))}],
                    "content": None, "encrypted_content": text(rng.randrange(1000, 6000)).encode("utf-8").hex()}}, "reasoning")
                put(out, {"timestamp": clock.tick(), "type": "response_item", "payload": {
                    "type": "function_call", "name": "shell", "arguments": json.dumps({"command": ["bash", "-lc", text(200)]}),
                    "call_id": "call_" + str(rng.getrandbits(64))}}, "function_call")
                size = rng.randrange(200000, 600000) if rng.random() < 0.05 else rng.randrange(300, 15000)
                put(out, {"timestamp": clock.tick(), "type": "response_item", "payload": {
                    "type": "function_call_output", "call_id": "call_1", "output": json.dumps({"output": text(size), "metadata": {"exit_code": 0}})}}, "function_call_output")
                step_input = rng.randrange(5000, 60000)
                step_cached = rng.randrange(0, step_input)
                step_output = rng.randrange(10, 900)
                step_reasoning = rng.randrange(0, 500)
                cached += step_cached
                inp += step_input
                outp += step_output
                reasoning += step_reasoning
                window = 272000
                last_input = step_input
                info = {"total_token_usage": {"input_tokens": inp, "cached_input_tokens": cached, "output_tokens": outp,
                                              "reasoning_output_tokens": reasoning, "total_tokens": inp + outp},
                        "last_token_usage": {"input_tokens": step_input, "cached_input_tokens": step_cached,
                                             "output_tokens": step_output, "reasoning_output_tokens": step_reasoning,
                                             "total_tokens": step_input + step_output},
                        "model_context_window": window}
                event = {"timestamp": clock.tick(), "type": "event_msg", "payload": {"type": "token_count", "info": info,
                         "rate_limits": {"primary": {"used_percent": 4.0, "window_minutes": 300, "resets_in_seconds": 9000}}}}
                put(out, event, "token_count")
                if rng.random() < 0.5:
                    event["timestamp"] = clock.tick()
                    put(out, event, "token_count repeated totals")
            put(out, {"timestamp": clock.tick(), "type": "response_item", "payload": {
                "type": "message", "role": "assistant", "content": [{"type": "output_text", "text": text(rng.randrange(200, 4000))}]}}, "assistant message")
            put(out, {"timestamp": clock.tick(), "type": "event_msg", "payload": {"type": "agent_message", "message": text(300)}}, "agent_message")
    return {"cache_read": cached, "cache_write": 0, "fresh_input": max(inp - cached, 0), "output": outp + reasoning,
            "context_window": window, "context_used": last_input, "lines_by_kind": kinds}


def tree(root, folders=TREE_FOLDERS, codex=True):
    small = '{"type":"summary","summary":"x","leafUuid":"y"}\n' + dump(
        {"type": "assistant", "message": {"model": "claude-sonnet-4-5", "id": "msg_1", "usage": {
            "input_tokens": 3, "cache_creation_input_tokens": 10, "cache_read_input_tokens": 100, "output_tokens": 7}}})
    newest = None
    base = 1764000000
    for folder in range(folders):
        claude_dir = os.path.join(root, ".claude/projects", f"-home-ada-work-project-{folder:03d}")
        day = datetime.date(2025, 1, 1) + datetime.timedelta(days=folder)
        codex_dir = os.path.join(root, ".codex/sessions", f"{day.year}", f"{day.month:02d}", f"{day.day:02d}")
        os.makedirs(claude_dir, exist_ok=True)
        if codex:
            os.makedirs(codex_dir, exist_ok=True)
        for n in range(TREE_FILES_PER_FOLDER):
            name = str(uuid.UUID(int=rng.getrandbits(128)))
            stamp = base + rng.randrange(0, 10_000_000) + rng.random()
            paths = [os.path.join(claude_dir, name + ".jsonl")]
            if codex:
                paths.append(os.path.join(codex_dir, f"rollout-{day.isoformat()}T10-00-00-{name}.jsonl"))
            for path in paths:
                with open(path, "w") as f:
                    f.write(small * rng.randrange(1, 4))
                os.utime(path, (stamp, stamp))
            if newest is None or stamp > newest[0]:
                newest = (stamp, name)
    return folders * TREE_FILES_PER_FOLDER


def sized(data, sizes):
    expected = {}
    for megabytes in sizes:
        claude_dir = os.path.join(data, f"claude-{megabytes}/.claude/projects/-home-ada-app")
        codex_dir = os.path.join(data, f"codex-{megabytes}/.codex/sessions/2026/01/05")
        for d in (claude_dir, codex_dir):
            os.makedirs(d, exist_ok=True)
        expected[f"claude-code-{megabytes}"] = claude_transcript(
            os.path.join(claude_dir, "5f0c2a4e-8d1b-4c6a-9e3f-0b7d2c1a9e84.jsonl"), megabytes * 1000 * 1000)
        expected[f"codex-{megabytes}"] = codex_session(
            os.path.join(codex_dir, "rollout-2026-01-05T09-00-00-0199a1b2-c3d4.jsonl"), megabytes * 1000 * 1000)
    with open(os.path.join(data, "expected.json"), "w") as f:
        json.dump(expected, f, indent=1)


def main():
    data = sys.argv[1]
    if len(sys.argv) == 4 and sys.argv[2] == "--sizes":
        sized(data, [int(size) for size in sys.argv[3].split(",")])
        return
    claude_dir = os.path.join(data, "claude/.claude/projects/-home-ada-app")
    codex_dir = os.path.join(data, "codex/.codex/sessions/2026/01/05")
    for d in (claude_dir, codex_dir):
        os.makedirs(d, exist_ok=True)
    claude_path = os.path.join(claude_dir, "5f0c2a4e-8d1b-4c6a-9e3f-0b7d2c1a9e84.jsonl")
    expected = {"claude-code": claude_transcript(claude_path)}
    expected["codex"] = codex_session(os.path.join(codex_dir, "rollout-2026-01-05T09-00-00-0199a1b2-c3d4.jsonl"))
    expected["tree_files"] = tree(os.path.join(data, "tree"))
    expected["tree_50k_files"] = tree(os.path.join(data, "tree-50k"), folders=2500, codex=False)
    with open(os.path.join(data, "expected.json"), "w") as f:
        json.dump(expected, f, indent=1)


if __name__ == "__main__":
    main()
