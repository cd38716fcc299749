#!/usr/bin/env python3
"""Correctness oracle for the extractor component: Python's email package.

    oracle.py --tool EXTRACT_TOOL --work DIR (--eml-dir DIR | --corpus ROOT |
              --make-corpus MAKE_CORPUS_PY [--messages N] [--scale X] [--seed S])

Every message goes through the real component (EXTRACT_TOOL, which creates it by class id
through CExtractorClient) into its own folder. For each message the SHA-256 multiset of the
files the answer names must equal that of the attachments Python decodes (policy.default,
parsebytes; a leaf part that is not multipart or message/* and has disposition attachment, a
file name, or a type other than text/*). Names may differ. --eml-dir computes the expected
sets here; --corpus reads ROOT/MANIFEST.json written by make-corpus.py; --make-corpus first
writes such a corpus into DIR/corpus (exit 77, "skipped", when the script is not there). The
corpus's manifest also gives each message's Date (as UTC) and Subject, which the answer must
match.

A forwarded message attached as a file (message/rfc822 or message/global with a file name or
an attachment disposition) is also written, as a .eml file holding the part's bytes as they
stand in the message. Python keeps no such bytes, so those files are checked apart: as many
.eml files beyond the expected attachments as such parts, each parsed by Python to a message
with the Subject of one of them.

The answer must be well formed too: "subject|sender|date|names" with no file list when nothing
was written, the date empty or "Ddd, DD Mon YYYY HH:MM:SS +ZZZZ", every name a plain entry of
the folder that obeys the naming rules, and no file in the folder that the answer leaves out.
"""
import argparse
import collections
import datetime
import email.utils
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
from email import policy
from email.parser import BytesParser

# Messages where the component differs from Python for a reason, and the reason. Each was
# looked at by hand: Python either counts a part that is no attachment, or misreads the part.
_PY_MULTIPART_LEAF = ("Python keeps a multipart it cannot split (broken or missing boundary, "
                      "encoded multipart) as one leaf and counts its raw text as an attachment; "
                      "GMime splits it or finds no part")
ALLOWED = {
    "enm-bad-header-wrap.eml": "a header line without a colon ends Python's header block, so Python "
                               "base64-decodes the rest of the headers as content; GMime reads the "
                               "intended 7-byte zip content",
    "m4j-missing-inner-boundary.eml": _PY_MULTIPART_LEAF,
    "rbm-missing-body-oe5.eml": _PY_MULTIPART_LEAF,
    "rbm-must-supply-encoding.eml": _PY_MULTIPART_LEAF,
    "rbm-raw-email-with-illegal-boundary-oe6.eml": _PY_MULTIPART_LEAF,
    "smp-malformed-013.eml": _PY_MULTIPART_LEAF,
    "smp-malformed-017.eml": _PY_MULTIPART_LEAF,
    "rbm-raw-email-with-binary-encoded.eml": _PY_MULTIPART_LEAF + "; the component also writes the "
                                             "binary jpeg that Python misses",
    "rbm-attachment-message-rfc822-inline-image.eml": _PY_MULTIPART_LEAF + " (an empty one); img.png "
                                                      "matches",
    "mk-partial-1of3.eml": "message/partial: Python parses the first fragment as a message and "
                           "counts the first third of earrings.jpg; a fragment is not a file, the "
                           "component writes no fragments",
    "smp-rfc-001.eml": "message/external-body: Python counts the phantom bodies of the references; "
                       "an external body holds no content to extract",
    "mtl-twopart.eml": "'Content-transfer-encoding: base64 ' with a trailing blank: Python does not "
                       "decode and writes the base64 text; the component writes the decoded jpeg",
    "pmp-m0018-ks_c_5601-name.eml": "base64 of 4n+1 letters (a corrupted upper-cased body): Python "
                                    "gives up and writes the encoded text, the component decodes what "
                                    "there is; ATT00001.txt matches",
    "pmp-issue274-swiftmailer.eml": "a forwarded message sent base64-encoded: Python parses the base64 "
                                    "text as the message and finds nothing in it; the component "
                                    "decodes it and also writes the four attachments inside",
    "smp-rfc-008.eml": "a forwarded message attached base64-encoded: Python parses the base64 text "
                       "as the message and finds no Subject; the component saves the decoded "
                       "message (Subject: HTML test) as attached_email.eml",
    "pmp-issue126-wlm16.eml": "two Content-Type headers: Python takes the first (text/plain), GMime "
                              "the last (multipart/mixed) and so also writes ATT00001.txt",
    "mk-tnef-rich-text.eml": "a winmail.dat: Python counts it as one file; the component also writes "
                             "the files inside it (the picture, twice: once more inside an attached "
                             "message) and keeps winmail.dat, which still holds the attached "
                             "messages' text; winmail.dat matches",
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


def attached_messages(path):
    """The Subjects of the forwarded messages attached as files (None for a missing one): the
    outermost of each chain only, as the ones inside are in its bytes already."""
    with open(path, "rb") as f:
        msg = BytesParser(policy=policy.default).parsebytes(f.read())
    out = []

    def walk(part, inside_saved):
        saved = (part.get_content_type() in ("message/rfc822", "message/global") and
                 (part.get_content_disposition() == "attachment" or part.get_filename()))
        if saved and not inside_saved:
            inner = part.get_payload(0) if part.is_multipart() else None
            out.append(inner["subject"] if inner is not None else None)
        if part.is_multipart():
            for sub in part.get_payload():
                walk(sub, inside_saved or bool(saved))

    walk(msg, False)
    return out


def eml_subject(path):
    with open(path, "rb") as f:
        return BytesParser(policy=policy.default).parsebytes(f.read())["subject"]


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


def clean_field(text):
    """The component's rule for the subject and sender fields."""
    text = "".join(" " if ord(c) < 32 or 127 <= ord(c) <= 159 else c for c in text)
    return text.replace("|", "\u00a6").strip(" ")


def check(messages, expected, answers, label, headers=None):
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
            info = (headers or {}).get(path)
            if info is not None:
                if info.get("date"):
                    want_date = datetime.datetime.fromisoformat(info["date"])
                    try:
                        got_date = email.utils.parsedate_to_datetime(fields[2])
                    except (TypeError, ValueError):
                        got_date = None
                    if got_date != want_date:
                        problems.append(f"date {fields[2]!r}, expected {info['date']}")
                if info.get("subject") is not None and clean_field(info["subject"]) != fields[0]:
                    problems.append(f"subject {fields[0]!r}, expected {info['subject']!r}")
        for n in names:
            for p in name_problems(n):
                problems.append(f"name {n!r}: {p}")
        on_disk = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        if sorted(names) != on_disk:
            problems.append(f"folder holds {on_disk} but the answer names {names}")
        hashes = {n: sha256_file(os.path.join(folder, n)) for n in names
                  if os.path.isfile(os.path.join(folder, n))}
        want = collections.Counter(expected[path])
        # The attached messages: .eml files that are not expected attachments.
        left = want.copy()
        emls = []
        for n, h in hashes.items():
            if left[h] > 0:
                left[h] -= 1
            elif n.lower().endswith(".eml"):
                emls.append(n)
        want_subjects = collections.Counter(str(s) for s in attached_messages(path))
        got_subjects = collections.Counter(str(eml_subject(os.path.join(folder, n))) for n in emls)
        if got_subjects != want_subjects:
            problems.append(f"attached messages {sorted(got_subjects.elements())}, expected "
                            f"{sorted(want_subjects.elements())}")
        got = collections.Counter(h for n, h in hashes.items() if n not in emls)
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
    ap.add_argument("--make-corpus")
    ap.add_argument("--messages", default="60")
    ap.add_argument("--scale", default="0.05")
    ap.add_argument("--seed", default="1")
    args = ap.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    if args.make_corpus:
        if not os.path.isfile(args.make_corpus):
            # Under CI the shared folder is always laid beside the checkout: missing is a fault.
            if os.environ.get("CI") == "true":
                print(f"FAIL: {args.make_corpus} is not there (CI=true)")
                sys.exit(1)
            print(f"SKIP: {args.make_corpus} is not there")
            sys.exit(77)
        args.corpus = os.path.join(args.work, "corpus")
        subprocess.run([sys.executable, args.make_corpus, args.corpus, "--messages", args.messages,
                        "--scale", args.scale, "--seed", args.seed], check=True,
                       stdout=subprocess.DEVNULL)
    if args.eml_dir:
        messages = sorted(os.path.join(args.eml_dir, n) for n in os.listdir(args.eml_dir)
                          if n.lower().endswith(".eml"))
        expected = {m: expected_hashes(m) for m in messages}
        label = None
        headers = None
    else:
        with open(os.path.join(args.corpus, "MANIFEST.json"), encoding="utf-8") as f:
            manifest = json.load(f)
        entries = manifest["files"]
        messages, expected, headers = [], {}, {}
        for rel, info in sorted(entries.items()):
            path = os.path.join(args.corpus, rel)
            messages.append(path)
            expected[path] = [a["sha256"] for a in info["attachments"]]
            headers[path] = info
        label = args.corpus
    answers = run_tool(args.tool, os.path.join(args.work, "out"), messages)
    sys.exit(0 if check(messages, expected, answers, label, headers) else 1)


if __name__ == "__main__":
    main()
