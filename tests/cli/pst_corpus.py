#!/usr/bin/env python3
"""Every Outlook data file of the shared corpus through kestrel-cli, checked against
expected.json (what the format library's own exporter takes out of each file): every folder
that holds mail, its message count, and the sha256 of every attachment at every level. Also
checks that discover lists the folders with a mailbox argument that the commands take, that
save-eml writes one .eml per message and search finds them, and that no file changed.

Exit 77 (skipped) when the corpus is not there, except under CI."""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "components"))
from oracle import sha256_file  # noqa: E402  (the extractor oracle's, shared)

MAIL_KINDS = ("Message", "Meeting")


def expected_attachments(folder):
    """The sha256 set of the attachments of the folder's mail, attached messages' included."""
    wanted = set()
    for a in folder["attachments"]:
        kind = re.sub(r"\d+$", "", a["item"].rsplit("/", 1)[-1])
        if kind in MAIL_KINDS:
            wanted.add(a["sha256"])

    def walk(messages):
        for m in messages:
            wanted.update(a["sha256"] for a in m.get("attachments", []))
            walk(m.get("embedded_messages", []))

    walk(m for m in folder["embedded_messages"]
         if re.sub(r"\d+$", "", m["path"].split("/Attachments/")[0].rsplit("/", 1)[-1])
         in MAIL_KINDS)
    return wanted


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    expected_path = os.path.join(args.corpus, "expected.json")
    if not os.path.exists(expected_path):
        if os.environ.get("CI") == "true":
            print("missing under CI: " + expected_path)
            return 1
        print("shared corpus not present: " + expected_path)
        return 77

    shutil.rmtree(args.work, ignore_errors=True)
    config = os.path.join(args.work, "config")
    os.makedirs(os.path.join(config, "VANDREL", "KESTL"))
    with open(os.path.join(config, "VANDREL", "KESTL", "qor.ini"), "w") as f:
        f.write("[Option]\r\nExtractOnlyPicture=0\r\nAttachmentSizeLimit=0\r\n"
                "SetAttachmentDate=0\r\nHTMLItemNumber=10\r\n")
    scratch = os.path.join(args.work, "tmp")
    os.makedirs(scratch)
    # The search's temporary copies stay where it puts them: here.
    env = dict(os.environ, XDG_CONFIG_HOME=config, HOME=args.work, TMPDIR=scratch)

    def cli(*argv):
        return subprocess.run([args.cli, *argv], env=env, capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, timeout=600)

    failures = []
    passed = 0
    expected = json.load(open(expected_path))["files"]
    for name, info in sorted(expected.items()):
        path = os.path.join(args.corpus, name)
        export = info["pffexport"].get("export")
        if export is None:
            # Damaged: refused with a message, and nothing else happens.
            r = cli("extract", "--all-files", path + "/Inbox", os.path.join(args.work, "x"))
            if r.returncode == 0 or "damaged" not in r.stderr:
                failures.append(f"{name}: damaged file not refused: {r.returncode} {r.stderr}")
            else:
                passed += 1
            continue
        root = os.path.join(args.work, "root-" + name)
        os.makedirs(root)
        path = shutil.copyfile(path, os.path.join(root, name))
        r = cli("discover", "--root", root)
        listed = {}
        for columns in (line.split("\t") for line in r.stdout.splitlines()):
            if len(columns) >= 4 and columns[3].startswith(path + "/"):
                listed[columns[3][len(path) + 1:]] = columns[3]
        for folder, want in sorted(export["folders_with_items"].items()):
            count = sum(want["items_by_kind"].get(k, 0) for k in MAIL_KINDS)
            label = f"{name}: {folder}"

            def place(kind):  # where a command run on this folder writes
                return os.path.join(args.work, kind, name, folder.replace("/", "_"))
            mailbox = listed.get(folder)
            if mailbox is None:
                failures.append(f"{label}: not listed by discover ({sorted(listed)})")
                continue
            if count < want["item_count"]:
                # Contacts, appointments and the like are left out, and said to be.
                r = cli("extract", "--all-files", mailbox, place("other"))
                skipped = want["item_count"] - count
                if f"{skipped} item(s) left out that are not mail" not in r.stderr:
                    failures.append(f"{label}: {skipped} items not said to be left out: "
                                    f"{r.stderr[-300:]}")
                elif count == 0:
                    passed += 1
            if count == 0:
                continue
            dest = place("out")
            r = cli("extract", "--all-files", mailbox, dest)
            if r.returncode != 0:
                failures.append(f"{label}: extract exited {r.returncode}: {r.stderr[-500:]}")
                continue
            runs = re.findall(r"\((\d+)/(\d+)\)", r.stderr)
            got_count = int(runs[-1][1]) if runs else 0
            if got_count != count:
                failures.append(f"{label}: {got_count} messages, expected {count}")
            got = set()
            for entry in os.listdir(dest):
                full = os.path.join(dest, entry)
                if os.path.isfile(full) and not entry.endswith(".eml") and entry != "report.htm":
                    got.add(sha256_file(full))
            wanted = expected_attachments(want)
            # Meeting requests are mail here; the exporter leaves their attachments out, so
            # those may come on top, as long as the file holds them.
            known = set(export["attachment_sha256"]) | set(export["embedded_attachment_sha256"])
            if not wanted <= got or not got <= known:
                failures.append(f"{label}: attachments differ: missing "
                                f"{sorted(wanted - got)}, extra {sorted(got - wanted)}")
            saved = place("eml")
            os.makedirs(saved)
            r = cli("save-eml", mailbox, saved)
            files = sorted(os.listdir(saved))
            if r.returncode != 0 or len(files) != count:
                failures.append(f"{label}: save-eml exited {r.returncode} with {len(files)} "
                                f"files, expected {count}: {r.stderr[-300:]}")
            r = cli("search", mailbox)
            hits = [l for l in r.stdout.splitlines() if "\t" in l]
            if r.returncode != 0 or len(hits) != count:
                failures.append(f"{label}: search exited {r.returncode} with {len(hits)} "
                                f"messages, expected {count}")
            if not any(failures and f.startswith(label) for f in failures):
                passed += 1
        if sha256_file(path) != info["sha256"]:
            failures.append(f"{name}: the file changed")

    for f in failures:
        print("FAIL " + f)
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
