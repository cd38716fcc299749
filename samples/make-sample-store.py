#!/usr/bin/env python3
"""Writes the bundled sample mail store (samples/store) once; the result is committed.

Two accounts laid out as the mail program keeps them on disk: an account file, "Inbox",
"Sent Items", a nested sub-folder, and an account folder whose name holds dots. The messages
carry pictures (drawn with ImageMagick's `convert`) and documents, with real dates.
Beside them, "Outlook Express": a store kept as a folder file (Folders.dbx) and one .dbx message
file per mail folder, with a nested folder and an empty one; "Thunderbird": a mail program's
profile with mbox files (one sub-folder kept in "Inbox.sbd"); and "Maildir": a maildir with a
Maildir++ sub-folder.
Run again only to change the sample: `python3 samples/make-sample-store.py`
(`--express-only` rewrites only the .dbx store, `--mbox-maildir-only` only the mbox files and the
maildir).
"""
import re
import struct
import sys
import os
import shutil
import subprocess
import tempfile
from email.message import EmailMessage
from email.utils import format_datetime
from datetime import datetime, timedelta, timezone

HERE = os.path.dirname(os.path.abspath(__file__))
STORE = os.path.join(HERE, "store")


def picture(kind, label, size, seed, fmt):
    """A small but real picture: a seeded plasma with a caption."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "p." + fmt)
        subprocess.run(
            ["convert", "-seed", str(seed), "-size", size, kind,
             "-gravity", "south", "-pointsize", "22", "-fill", "white",
             "-annotate", "+0+8", label, "-quality", "82", out],
            check=True)
        with open(out, "rb") as f:
            return f.read()


def pdf(text):
    """A one-page PDF holding one line of text."""
    stream = f"BT /F1 18 Tf 72 720 Td ({text}) Tj ET".encode()
    objs = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        b"/Resources << /Font << /F1 5 0 R >> >> >>",
        b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    ]
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for i, body in enumerate(objs, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % i + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    for off in offsets:
        out += b"%010d 00000 n \n" % off
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    # Pad past the default size limit (2 KB) so the document is kept.
    out += b"%" + b" " * 3000 + b"\n"
    return bytes(out)


def message_bytes(sender, to, subject, when, body, attachments):
    msg = EmailMessage()
    msg["From"] = sender
    msg["To"] = to
    msg["Subject"] = subject
    msg["Date"] = format_datetime(when)
    msg.set_content(body)
    for name, maintype, subtype, data in attachments:
        msg.add_attachment(data, maintype=maintype, subtype=subtype, filename=name)
    return msg.as_bytes(policy=msg.policy.clone(linesep="\r\n"))


def message(path, *fields):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(message_bytes(*fields))


def mbox_file(path, messages):
    """An mbox file: a "From " line before each message, body lines beginning ">*From " quoted
    with one more ">", an empty line after each."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        for when, fields in messages:
            f.write(b"From - " + when.strftime("%a %b %d %H:%M:%S %Y").encode() + b"\r\n")
            f.write(re.sub(rb"(?m)^(>*From )", rb">\1", message_bytes(*fields)))
            f.write(b"\r\n")


def mbox_and_maildir(cet):
    profile = os.path.join(STORE, "Thunderbird", "k3strel.default")
    shutil.rmtree(os.path.join(STORE, "Thunderbird"), ignore_errors=True)
    os.makedirs(profile)
    with open(os.path.join(profile, "prefs.js"), "w") as f:
        f.write('user_pref("mail.root.none", "Mail");\n')
    local = os.path.join(profile, "Mail", "Local Folders")
    walk = datetime(2012, 4, 7, 15, 10, 0, tzinfo=cet)
    mbox_file(os.path.join(local, "Inbox"), [
        (walk, ("Tom Baker <tom@example.org>", "jane@example.com", "Walk in the hills", walk,
                "From the top of the hill you can see the lake.\n",
                [("hills.jpg", "image", "jpeg",
                  picture("plasma:green-darkgreen", "Hills", "480x320", 11, "jpg"))])),
        (walk + timedelta(days=3),
         ("Ann Lee <ann@example.net>", "jane@example.com", "Plans", walk + timedelta(days=3),
          "No pictures, just plans.\n", [])),
    ])
    trips = datetime(2012, 7, 30, 8, 45, 0, tzinfo=cet)
    mbox_file(os.path.join(local, "Inbox.sbd", "Trips"), [
        (trips, ("Tom Baker <tom@example.org>", "jane@example.com", "Harbour", trips,
                 "The boats at dawn.\n",
                 [("harbour.png", "image", "png",
                   picture("plasma:skyblue-white", "Harbour", "400x300", 12, "png"))])),
    ])
    reply = walk + timedelta(hours=2)
    mbox_file(os.path.join(local, "Sent"), [
        (reply, ("Jane <jane@example.com>", "Tom Baker <tom@example.org>", "Re: Walk in the hills",
                 reply, "Wonderful view!\n", [])),
    ])

    maildir = os.path.join(STORE, "Maildir")
    shutil.rmtree(maildir, ignore_errors=True)
    snow = datetime(2013, 1, 19, 11, 0, 0, tzinfo=cet)
    # No tmp/ folders: empty, they would not survive a clone, and nothing reads them.
    for folder in (maildir, os.path.join(maildir, ".Friends")):
        for sub in ("cur", "new"):
            os.makedirs(os.path.join(folder, sub))
    message(os.path.join(maildir, "cur", "1358589600.M1P100.sample:2,S"),
            "Mum <mum@example.org>", "jane@example.com", "Snow", snow,
            "The garden is white.\n",
            [("snow.jpg", "image", "jpeg",
              picture("plasma:white-gray", "Snow", "480x320", 13, "jpg"))])
    message(os.path.join(maildir, "new", "1358676000.M2P100.sample"),
            "Newsletter <news@example.com>", "jane@example.com", "January news",
            snow + timedelta(days=1), "Nothing attached.\n", [])
    party = datetime(2013, 3, 2, 21, 30, 0, tzinfo=cet)
    message(os.path.join(maildir, ".Friends", "cur", "1362256200.M3P100.sample:2,S"),
            "Ann Lee <ann@example.net>", "jane@example.com", "Party", party,
            "Pictures from Saturday.\n",
            [("party.gif", "image", "gif",
              picture("plasma:purple-orange", "Party", "300x300", 14, "gif"))])
    message(os.path.join(maildir, ".Friends", "new", "1362342600.M4P100.sample"),
            "Tom Baker <tom@example.org>", "jane@example.com", "Re: Party",
            party + timedelta(days=1), "Great evening.\n", [])


def account_file(folder, name, server):
    text = ('<?xml version="1.0" encoding="utf-16"?>\r\n<MessageAccount>\r\n'
            f'\t<Account_Name type="SZ">{name}</Account_Name>\r\n'
            f'\t<POP3_Server type="SZ">{server}</POP3_Server>\r\n</MessageAccount>\r\n')
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "account{5A1B}.oeaccount"), "wb") as f:
        f.write(text.encode("utf-16"))


def dbx_file(path, folder_file, items):
    """A .dbx file holding the given items (each a list of (field id, value) pairs: bytes for
    a value kept in the values area, an int for a direct one), all in one index node. Text
    blocks for messages are placed by text_chain before the items that point at them."""
    out = bytearray(0x200)
    positions = []
    for fields in items:
        if callable(fields):
            fields = fields(out)
        entries, values = bytearray(), bytearray()
        for fid, value in fields:
            if isinstance(value, int):
                entries += struct.pack("<I", fid | (value & 0xFFFFFF) << 8)
            else:
                entries += struct.pack("<I", fid | len(values) << 8)
                values += value
        positions.append(len(out))
        out += struct.pack("<IIHBB", len(out), len(entries) + len(values), 0, len(fields), 0)
        out += entries + values
    root = len(out)
    # The walk gives the first entry it meets the highest index: list the items backwards.
    node = bytearray(struct.pack("<IIIIII", root, 0, 0, 0, 0, 0))
    node[17] = len(positions)
    for pos in reversed(positions):
        node += struct.pack("<III", pos, 0, 0)
    out += node
    kind = 0x6F74FDC6 if folder_file else 0x6F74FDC5
    out[0:16] = struct.pack("<IIII", 0xFE12ADCF, kind, 0x11D1E366, 0xC0004E9A)
    out[0xC4:0xC8] = struct.pack("<I", len(positions))
    out[0xE4:0xE8] = struct.pack("<I", root if positions else 0)
    with open(path, "wb") as f:
        f.write(out)


def text_chain(out, text):
    """Appends a message's text as a chain of blocks; returns the first block's position."""
    first = len(out)
    for at in range(0, max(len(text), 1), 0x1F0):
        chunk = text[at:at + 0x1F0]
        nxt = len(out) + 16 + len(chunk) if at + 0x1F0 < len(text) else 0
        out += struct.pack("<IIHHI", len(out), 0x1F0, len(chunk), 0, nxt) + chunk
    return first


def dbx_message(number, sender_name, sender, subject, when, body, attachments):
    msg = EmailMessage()
    msg["From"] = f"{sender_name} <{sender}>"
    msg["To"] = "jane@example.com"
    msg["Subject"] = subject
    msg["Date"] = format_datetime(when)
    msg.set_content(body)
    for name, maintype, subtype, data in attachments:
        msg.add_attachment(data, maintype=maintype, subtype=subtype, filename=name)
    text = msg.as_bytes(policy=msg.policy.clone(linesep="\r\n"))
    filetime = int((when.timestamp() + 11644473600) * 10000000)

    def fields(out):
        return [(0x01, b"\x21"), (0x0D, sender_name.encode("cp1252") + b"\0"),
                (0x0E, sender.encode() + b"\0"), (0x12, struct.pack("<Q", filetime)),
                (0x80, number), (0x84, text_chain(out, text)),
                (0x08, subject.encode("cp1252") + b"\0")]
    return fields


def express_store(cet):
    store = os.path.join(STORE, "Outlook Express")
    shutil.rmtree(store, ignore_errors=True)
    os.makedirs(store)

    def folder(fid, parent, name, file):
        return [(0x02, name.encode("cp1252") + b"\0"), (0x03, file.encode("cp1252") + b"\0"),
                (0x80, fid), (0x81, parent)]
    dbx_file(os.path.join(store, "Folders.dbx"), True, [
        folder(0, 0xFFFFFFFF, "Outlook Express", ""),
        folder(1, 0, "Local Folders", ""),
        folder(2, 1, "Inbox", "Inbox.dbx"),
        folder(3, 1, "Sent Items", "Sent Items.dbx"),
        folder(4, 1, "Deleted Items", "Deleted Items.dbx"),
        folder(5, 2, "Old PC", "Old PC.dbx")])
    dbx_file(os.path.join(store, "Inbox.dbx"), False, [
        dbx_message(1, "Tom Baker", "tom@example.org", "Harbour pictures",
                    datetime(2004, 7, 3, 17, 20, 0, tzinfo=cet), "Two from the harbour.\n",
                    [("harbour.jpg", "image", "jpeg", picture("plasma:teal-navy", "Harbour", "360x240", 11, "jpg")),
                     ("gull.jpg", "image", "jpeg", picture("plasma:white-gray", "Gull", "240x240", 12, "jpg"))]),
        dbx_message(2, "Ann Lee", "ann@example.net", "Fw: Club rules",
                    datetime(2004, 9, 1, 8, 0, 0, tzinfo=timezone.utc), "The rules, as promised.\n",
                    [("rules.pdf", "application", "pdf", pdf("Club rules, September 2004")),
                     ("readme.txt", "text", "plain", b"Read the rules first.\r\n")]),
        dbx_message(3, "Newsletter", "news@example.com", "News for August",
                    datetime(2004, 8, 1, 7, 0, 0, tzinfo=timezone.utc), "Nothing attached.\n", [])])
    dbx_file(os.path.join(store, "Old PC.dbx"), False, [
        dbx_message(1, "Mum", "mum@example.org", "Snow",
                    datetime(2003, 12, 27, 11, 0, 0, tzinfo=cet), "The garden in the snow.\n",
                    [("snow.jpg", "image", "jpeg", picture("plasma:white-lightblue", "Snow", "300x200", 13, "jpg"))])])
    dbx_file(os.path.join(store, "Sent Items.dbx"), False, [
        dbx_message(1, "Jane", "jane@example.com", "Re: Harbour pictures",
                    datetime(2004, 7, 4, 9, 0, 0, tzinfo=cet), "Lovely.\n", [])])
    dbx_file(os.path.join(store, "Deleted Items.dbx"), False, [])


def main():
    cet = timezone(timedelta(hours=1))
    if "--express-only" in sys.argv[1:]:
        express_store(cet)
        return
    if "--mbox-maildir-only" in sys.argv[1:]:
        mbox_and_maildir(cet)
        return
    shutil.rmtree(STORE, ignore_errors=True)
    jane = os.path.join(STORE, "Hotmail (jane)")
    pop = os.path.join(STORE, "pop.example.com")
    account_file(jane, "Hotmail (jane)", "pop3.live.example")
    account_file(pop, "Jane at example.com", "pop.example.com")

    inbox = os.path.join(jane, "Inbox")
    message(os.path.join(inbox, "0001.eml"), "Tom Baker <tom@example.org>", "jane@example.com",
            "Holiday pictures", datetime(2010, 8, 14, 18, 30, 5, tzinfo=cet),
            "Here are the pictures from the lake.\n",
            [("lake.jpg", "image", "jpeg", picture("plasma:skyblue-navy", "Lake", "480x320", 1, "jpg")),
             ("boat.jpg", "image", "jpeg", picture("plasma:white-blue", "Boat", "320x480", 2, "jpg"))])
    message(os.path.join(inbox, "0002.eml"), "Ann Lee <ann@example.net>", "jane@example.com",
            "Fw: Minutes of the meeting", datetime(2010, 9, 2, 9, 15, 0, tzinfo=timezone.utc),
            "The minutes are attached.\n",
            [("minutes.pdf", "application", "pdf", pdf("Minutes of the meeting, 1 September 2010")),
             ("attendance.csv", "text", "csv", ("name,present\r\n" + "".join(
                 f"member {i},{'yes' if i % 3 else 'no'}\r\n" for i in range(200))).encode())])
    message(os.path.join(inbox, "0003.eml"), "Tom Baker <tom@example.org>", "jane@example.com",
            "Garden", datetime(2011, 5, 21, 12, 0, 0, tzinfo=cet),
            "Spring has come.\n",
            [("tulips.png", "image", "png", picture("plasma:red-yellow", "Tulips", "400x300", 3, "png")),
             ("bee.gif", "image", "gif", picture("plasma:yellow-black", "Bee", "200x200", 4, "gif"))])
    message(os.path.join(inbox, "0004.eml"), "Newsletter <news@example.com>", "jane@example.com",
            "Monthly news", datetime(2011, 6, 1, 7, 0, 0, tzinfo=timezone.utc),
            "Nothing attached this month.\n", [])

    family = os.path.join(inbox, "Family")
    message(os.path.join(family, "0001.eml"), "Mum <mum@example.org>", "jane@example.com",
            "Birthday", datetime(2009, 12, 24, 20, 45, 10, tzinfo=cet),
            "Happy birthday, love Mum.\n",
            [("cake.jpg", "image", "jpeg", picture("plasma:pink-purple", "Cake", "400x400", 5, "jpg"))])

    sent = os.path.join(jane, "Sent Items")
    message(os.path.join(sent, "0001.eml"), "Jane <jane@example.com>", "Tom Baker <tom@example.org>",
            "Re: Holiday pictures", datetime(2010, 8, 15, 10, 5, 0, tzinfo=cet),
            "Lovely! One of mine too.\n",
            [("sunset.jpg", "image", "jpeg", picture("plasma:orange-darkred", "Sunset", "480x320", 6, "jpg"))])

    pinbox = os.path.join(pop, "Inbox")
    message(os.path.join(pinbox, "0001.eml"), "Shop <orders@shop.example>", "jane@example.com",
            "Your invoice", datetime(2011, 2, 3, 16, 20, 0, tzinfo=timezone.utc),
            "Your invoice is attached.\n",
            [("invoice.pdf", "application", "pdf", pdf("Invoice 2011-0042"))])
    os.makedirs(os.path.join(pop, "Sent Items"), exist_ok=True)
    message(os.path.join(pop, "Sent Items", "0001.eml"), "Jane <jane@example.com>",
            "Shop <orders@shop.example>", "Order", datetime(2011, 2, 1, 8, 0, 0, tzinfo=timezone.utc),
            "Please send two.\n", [])
    express_store(cet)
    mbox_and_maildir(cet)


if __name__ == "__main__":
    main()
