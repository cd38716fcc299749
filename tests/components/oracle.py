#!/usr/bin/env python3
"""Correctness oracle for the extractor component: Python's email package.

    oracle.py --tool EXTRACT_TOOL --work DIR (--eml-dir DIR | --corpus ROOT)

Every message goes through the real component (EXTRACT_TOOL, which creates it by class id
through CExtractorClient) into its own folder. For each message the SHA-256 multiset of the
files the answer names must equal that of the attachments Python decodes (policy.default,
parsebytes; a leaf part that is not multipart or message/* and has disposition attachment, a
file name, or a type other than text/*). Names may differ. --eml-dir computes the expected
sets here; --corpus reads ROOT/MANIFEST.json written by make-corpus.py.

The answer must be well formed too: "subject|sender|date|names" with no file list when nothing
was written, the date empty or "Ddd, DD Mon YYYY HH:MM:SS +ZZZZ", every name a plain entry of
the folder that obeys the naming rules, and no file in the folder that the answer leaves out.
"""
import argparse
import collections
import hashlib
import json
import os
import re
import subprocess
import sys
from email import policy
from email.parser import BytesParser

# Messages where the component is right and Python is not, with the reason.
ALLOWED = {
}

DATE_RE = re.compile(r"^(Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                     r"\d{4} \d\d:\d\d:\d\d [+-]\d{4}$")


def is_attachment(part):
    if part.is_multipart() or part.get_content_maintype() == "message":
        return False
    if part.get_content_disposition() == "attachment" or part.get_filename():
        return True
    return part.get_content_maintype() != "text"


def expected_hashes(path):
    with open(path, "rb") as f:
        msg = BytesParser(policy=policy.default).parsebytes(f.read())
    out = []
    for part in msg.walk():
        if is_attachment(part):
            data = part.get_payload(decode=True) or b""
            out.append(hashlib.sha256(data).hexdigest())
    return out


def sha256_file(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def name_problems(name):
    problems = []
    if not name or name != name.strip(" "):
        problems.append("empty or blank-edged")
    if any(c in name for c in ":|/\\") or any(ord(c) < 32 or ord(c) == 127 for c in name):
        problems.append("separator or control character")
    if name.startswith("."):
        problems.append("leading dot")
    low = name.lower()
    if low.startswith("ulk") or low.startswith("kestl"):
        problems.append("swept prefix")
    if low in ("report.htm", "report", "process"):
        problems.append("reserved name")
    if len(name.encode("utf-8", "surrogateescape")) >= 255:
        problems.append("too long")
    return problems


def run_tool(tool, work, messages):
    """Returns {index: (path, answer)} for the messages, extracted into work/<index>."""
    env = dict(os.environ)
    answers = {}
    chunk = 200
    for start in range(0, len(messages), chunk):
        batch = messages[start:start + chunk]
        root = os.path.join(work, f"batch{start}")
        proc = subprocess.run([tool, root] + batch, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, check=False)
        if proc.returncode != 0:
            sys.exit(f"extract tool failed ({proc.returncode}): {proc.stderr.decode(errors='replace')}")
        for line in proc.stdout.decode("utf-8", "surrogateescape").split("\n"):
            if not line:
                continue
            idx, path, answer = line.split("\t", 2)
            answers[path] = (os.path.join(root, idx), answer)
    return answers


def check(messages, expected, answers, label):
    failures, allowed = [], []
    for path in messages:
        folder, answer = answers[path]
        name = os.path.relpath(path, label) if label else os.path.basename(path)
        problems = []
        fields = answer.split("|")
        if len(fields) < 3:
            problems.append(f"answer has {len(fields)} fields: {answer[:200]!r}")
            names = []
        else:
            if fields[2] and not DATE_RE.match(fields[2]):
                problems.append(f"date {fields[2]!r}")
            if len(fields) == 4 and not fields[3]:
                problems.append("a fourth field with no names")
            if len(fields) > 4:
                problems.append("more than four fields")
            names = fields[3].split(":") if len(fields) >= 4 else []
        for n in names:
            for p in name_problems(n):
                problems.append(f"name {n!r}: {p}")
        on_disk = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        if sorted(names) != on_disk:
            problems.append(f"folder holds {on_disk} but the answer names {names}")
        got = collections.Counter(sha256_file(os.path.join(folder, n)) for n in names
                                  if os.path.isfile(os.path.join(folder, n)))
        want = collections.Counter(expected[path])
        if got != want:
            missing = sum((want - got).values())
            extra = sum((got - want).values())
            problems.append(f"{missing} expected attachment(s) missing or different, {extra} extra "
                            f"(names {names})")
        if problems:
            base = os.path.basename(path)
            if base in ALLOWED:
                allowed.append(f"{name}: allowed ({ALLOWED[base]}): {'; '.join(problems)}")
            else:
                failures.append(f"{name}: {'; '.join(problems)}")
    for line in allowed:
        print("ALLOWED", line)
    for line in failures:
        print("FAIL", line)
    total = sum(len(v) for v in expected.values())
    print(f"{len(messages)} messages, {total} expected attachments, {len(failures)} failing, "
          f"{len(allowed)} allowed differences")
    return not failures


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--eml-dir")
    ap.add_argument("--corpus")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    if args.eml_dir:
        messages = sorted(os.path.join(args.eml_dir, n) for n in os.listdir(args.eml_dir)
                          if n.lower().endswith(".eml"))
        expected = {m: expected_hashes(m) for m in messages}
        label = None
    else:
        with open(os.path.join(args.corpus, "MANIFEST.json"), encoding="utf-8") as f:
            manifest = json.load(f)
        entries = manifest["messages"] if "messages" in manifest else manifest
        messages, expected = [], {}
        for rel, info in sorted(entries.items()):
            path = os.path.join(args.corpus, rel)
            messages.append(path)
            expected[path] = [a["sha256"] for a in info["attachments"]]
        label = args.corpus
    answers = run_tool(args.tool, args.work, messages)
    sys.exit(0 if check(messages, expected, answers, label) else 1)


if __name__ == "__main__":
    main()
