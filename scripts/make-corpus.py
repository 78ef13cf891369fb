#!/usr/bin/env python3
"""A seeded corpus of encoded inputs, for comparing two builds (scripts/compare-builds.sh) and
for seeding the fuzz targets.

Every input is made by an independent tool or from the format's standard: sharutils uuencode,
coreutils base64, macutils binhex, mpack, Python's email package, and the xxencode and yEnc
encoders below. Postings come whole, split into numbered articles, in mbox spools, as news
server captures, and mangled (lines dropped, doubled or cut, bytes changed, blanks stripped,
CRLF, truncated), so that the corpus reaches the paths where decoders disagree.

Usage: scripts/make-corpus.py OUTDIR [--seed N] [--count N]
"""

import argparse
import base64
import email.message
import email.policy
import os
import random
import subprocess
import tempfile
import zlib

XX = b"+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"


def run(cmd, data=None, cwd=None):
    return subprocess.run(cmd, input=data, stdout=subprocess.PIPE, check=True, cwd=cwd).stdout


def uuencode(data, name):
    return run(["uuencode", name], data)


def xxencode(data, name):
    out = [b"begin 644 " + name.encode()]
    for pos in range(0, len(data), 45):
        chunk = data[pos:pos + 45]
        line = bytearray([XX[len(chunk)]])
        padded = chunk + b"\0" * (-len(chunk) % 3)
        for i in range(0, len(padded), 3):
            a, b, c = padded[i:i + 3]
            line += bytes([XX[a >> 2], XX[(a & 3) << 4 | b >> 4], XX[(b & 15) << 2 | c >> 6],
                           XX[c & 63]])
        out.append(bytes(line))
    return b"\n".join(out) + b"\n+\nend\n"


def yenc_lines(data, line=128):
    out, cur = [], bytearray()
    for i, byte in enumerate(data):
        c = (byte + 42) & 255
        if c in (0, 10, 13, 61) or (not cur and c in (9, 32, 46)):
            cur += bytes([61, (c + 64) & 255])
        else:
            cur.append(c)
        if len(cur) >= line:
            out.append(bytes(cur))
            cur = bytearray()
    if cur:
        out.append(bytes(cur))
    return b"\r\n".join(out) + b"\r\n"


def yenc(data, name, parts, rng):
    size = len(data)
    if parts == 1:
        return [b"=ybegin line=128 size=%d name=%s\r\n" % (size, name.encode()) + yenc_lines(data) +
                b"=yend size=%d crc32=%08x\r\n" % (size, zlib.crc32(data))]
    per = -(-size // parts)
    out = []
    for k in range(parts):
        piece = data[k * per:(k + 1) * per]
        head = b"=ybegin part=%d total=%d line=128 size=%d name=%s\r\n" % (
            k + 1, parts, size, name.encode())
        head += b"=ypart begin=%d end=%d\r\n" % (k * per + 1, k * per + len(piece))
        tail = b"=yend size=%d part=%d pcrc32=%08x" % (len(piece), k + 1, zlib.crc32(piece))
        if k + 1 == parts:
            tail += b" crc32=%08x" % zlib.crc32(data)
        out.append(head + yenc_lines(piece) + tail + b"\r\n")
    return out


def binhex(data, name, tmp):
    path = os.path.join(tmp, name)
    with open(path, "wb") as f:
        f.write(data)
    return run(["binhex", "-d", name], cwd=tmp)


def mime(data, name, encoding, rng):
    msg = email.message.EmailMessage(policy=email.policy.default)
    msg["From"] = "poster@example.org"
    msg["Subject"] = "file " + name
    msg.set_content("Here it is.\n")
    if encoding == "quoted-printable":
        text = bytes(rng.choice(b"abc =\t\n\xe9xyz") for _ in range(len(data)))
        msg.add_attachment(text.decode("latin-1"), subtype="plain", filename=name,
                           cte="quoted-printable")
    else:
        msg.add_attachment(data, maintype="application", subtype="octet-stream", filename=name)
    return msg.as_bytes()


def article(subject, body, number):
    return (b"Path: news.example!poster\nFrom: poster@example.org\nNewsgroups: alt.test\n"
            b"Subject: " + subject.encode() + b"\nMessage-ID: <%d@corpus>\n\n" % number + body)


def split_lines(text, parts):
    lines = text.splitlines(keepends=True)
    per = -(-len(lines) // parts)
    return [b"".join(lines[k * per:(k + 1) * per]) for k in range(parts)]


def captured(text, number):
    lines = text.replace(b"\r\n", b"\n").split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    body = b"".join((b"." if l.startswith(b".") else b"") + l + b"\r\n" for l in lines)
    return b"220 %d <%d@corpus> article\r\n" % (number, number) + body + b".\r\n"


def mangle(text, rng):
    lines = text.splitlines(keepends=True)
    kind = rng.randrange(7)
    if not lines:
        return text
    i = rng.randrange(len(lines))
    if kind == 0:
        del lines[i]
    elif kind == 1:
        lines.insert(i, lines[i])
    elif kind == 2:
        lines[i] = lines[i][:rng.randrange(len(lines[i]) + 1)]
    elif kind == 3:
        line = bytearray(lines[i])
        if line:
            line[rng.randrange(len(line))] = rng.randrange(256)
        lines[i] = bytes(line)
    elif kind == 4:
        lines = [l.rstrip(b" \r\n") + b"\n" for l in lines]
    elif kind == 5:
        lines = [l.rstrip(b"\r\n") + b"\r\n" for l in lines]
    else:
        return text[:rng.randrange(len(text) + 1)]
    return b"".join(lines)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--count", type=int, default=300)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    os.makedirs(args.out, exist_ok=True)
    tmp = tempfile.mkdtemp()
    written = 0

    def put(label, data):
        nonlocal written
        with open(os.path.join(args.out, "%04d-%s" % (written, label)), "wb") as f:
            f.write(data)
        written += 1

    for k in range(args.count):
        size = rng.choice([0, 1, 2, 44, 45, 46, 57, 1000, rng.randrange(1, 200000)])
        data = rng.randbytes(size)
        name = "f%d.bin" % k
        kind = rng.choice(["uu", "xx", "b64", "qp", "yenc", "binhex", "partial", "raw64"])
        parts = rng.choice([1, 1, 2, 3, 5])
        if kind in ("uu", "xx"):
            text = uuencode(data, name) if kind == "uu" else xxencode(data, name)
            bodies = split_lines(text, parts) if parts > 1 else [text]
            texts = [article("%s (%d/%d)" % (name, n + 1, len(bodies)), b, k * 10 + n)
                     for n, b in enumerate(bodies)]
        elif kind == "yenc":
            texts = [article('"%s" yEnc (%d/%d)' % (name, n + 1, parts), b, k * 10 + n)
                     for n, b in enumerate(yenc(data, name, parts, rng))]
        elif kind == "binhex":
            texts = [binhex(data, name, tmp)]
        elif kind == "partial":
            path = os.path.join(tmp, name)
            with open(path, "wb") as f:
                f.write(data)
            for old in os.listdir(tmp):
                if old.startswith("piece"):
                    os.unlink(os.path.join(tmp, old))
            # mpack refuses some inputs (an empty file): nothing is written for those.
            subprocess.run(["mpack", "-s", name, "-m", str(rng.choice([2000, 9000, 50000])),
                            "-o", "piece", name], cwd=tmp, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            texts = [open(os.path.join(tmp, p), "rb").read()
                     for p in sorted(os.listdir(tmp)) if p.startswith("piece")]
        elif kind == "raw64":
            texts = [base64.encodebytes(data)]
        else:
            texts = [mime(data, name, "quoted-printable" if kind == "qp" else "base64", rng)]
        how = rng.choice(["files", "files", "spool", "capture", "mangled"])
        if how == "spool":
            put(kind + ".mbox", b"".join(b"From poster@example.org Sat Dec  5 10:00:00 2026\n" +
                                         t + b"\n" for t in texts))
        elif how == "capture":
            put(kind + ".nntp", b"".join(captured(t, k * 10 + n) for n, t in enumerate(texts)))
        else:
            order = list(range(len(texts)))
            rng.shuffle(order)
            for n in order:
                t = texts[n]
                put("%s.%d" % (kind, n), mangle(t, rng) if how == "mangled" else t)
    print("%d inputs in %s" % (written, args.out))


if __name__ == "__main__":
    main()
