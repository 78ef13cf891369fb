#!/usr/bin/env python3
"""Decode benchmark: tamsel beside the single-purpose peers, on the same inputs, in one run.

Inputs are generated from a fixed seed into bench/work/ (reused when present): a binary of
--size MiB, its uuencoded form (sharutils uuencode), its Base64 (coreutils base64) and a MIME
message with it, its yEnc form (Debian's python3-yenc encoder), a spool of --parts uuencoded
articles, a BinHex file of --binhex-size MiB (macutils binhex) and --small small uuencoded
articles in as many files. With --large, also a spool of 1 GiB, for memory. Every command
runs --runs times into an empty output directory, after a sync; the table shows the median
MB/s of encoded input and the peak resident memory (decoding from a pipe too: `cat | tamsel
decode -`), the I/O floor of a decode (`cat` of its input and `cp` of the decoded size), tamsel
on xxencode, a spool and one file per part beside the single uuencoded file, and how many
times faster tamsel is than the peer on the same input. The commands of an input are timed in
rounds, each once in turn, and a ratio is the median of the rounds' own ratios, so that a slow
moment of the machine counts against both sides alike. Every tool's output is checked byte
for byte after its last run (untimed), against the payload or what the peer tools write or
read.

With --baseline PATH, another tamsel (an older build, say) is timed beside it on every input,
so that a change is judged by two builds in one run.

Usage: bench/run_bench.py [--size MiB] [--parts N] [--runs N] [--large] [--tamsel PATH]
                          [--baseline PATH]
Build first: cmake --preset release && cmake --build --preset release
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "bench", "work")


def sh(cmd, **kw):
    subprocess.run(cmd, shell=True, check=True, **kw)


def write_random(path, size, seed):
    rng = random.Random(seed)
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, 16 << 20)
            f.write(rng.randbytes(n))
            left -= n


def generate_extra(args):
    """yEnc, BinHex and the small files."""
    stamp = os.path.join(WORK, f"extra-{args.size}-{args.binhex_size}-{args.small}")
    if os.path.exists(stamp):
        return
    print("generating yEnc, BinHex and small inputs ...", file=sys.stderr)
    size = args.size << 20
    encoder = ("import yenc, sys\n"
               "with open(sys.argv[1], 'rb') as fi, open(sys.argv[2], 'wb') as fo:\n"
               f"    fo.write(b'=ybegin line=128 size={size} name=data.bin\\r\\n')\n"
               f"    n, crc = yenc.encode(fi, fo, {size})\n"
               f"    fo.write(b'\\r\\n=yend size={size} crc32=' + crc.encode() + b'\\r\\n')\n")
    subprocess.run(["/usr/bin/python3", "-c", encoder, os.path.join(WORK, "data.bin"),
                    os.path.join(WORK, "data.yenc")], check=True)
    mac = os.path.join(WORK, "mac.bin")
    write_random(mac, args.binhex_size << 20, 7)
    sh(f"cd {WORK} && binhex -d mac.bin > mac.hqx && rm mac.bin")
    small = os.path.join(WORK, "small")
    shutil.rmtree(small, ignore_errors=True)
    shutil.rmtree(small + ".ref", ignore_errors=True)  # what uudecode made of them
    for other in os.listdir(WORK):
        if other.startswith("extra-"):
            os.remove(os.path.join(WORK, other))
    os.makedirs(small)
    rng = random.Random(11)
    for i in range(args.small):
        name = f"s{i:05d}.bin"
        data = rng.randbytes(rng.randint(500, 6000))
        path = os.path.join(small, name)
        with open(path, "wb") as f:
            f.write(data)
        text = subprocess.run(["uuencode", path, name], check=True,
                              capture_output=True).stdout
        with open(os.path.join(small, f"a{i:05d}.txt"), "wb") as f:
            f.write(f"From: bench@example.org\nSubject: {name}\n\n".encode() + text)
        os.remove(path)
    open(stamp, "w").close()


def generate_large():
    """A 1 GiB mbox of uuencoded articles (about 740 MiB of data in 100 files)."""
    spool = os.path.join(WORK, "large.mbox")
    if os.path.exists(spool):
        return
    print("generating a 1 GiB spool ...", file=sys.stderr)
    with open(os.path.join(WORK, "data.uue"), "rb") as f:
        lines = f.read().split(b"\n")[1:-3]  # data lines only
    per = 3000
    with open(spool, "wb") as out:
        written, k = 0, 0
        while written < (1 << 30) or k % 20 != 0:  # whole sets of 20 parts
            start = (k * per) % max(1, len(lines) - per)
            chunk = b"\n".join(lines[start:start + per]) + b"\n"
            name = f"big{k // 20:03d}.bin"
            part = k % 20 + 1
            head = (b"From bench@example.org Mon Dec  7 10:00:00 2026\n"
                    + f"Subject: {name} ({part}/20)\n\n".encode())
            body = (f"begin 644 {name}\n".encode() if part == 1 else b"") + chunk
            if part == 20:
                body += b"`\nend\n"
            out.write(head + body + b"\n")
            written += len(head) + len(body) + 1
            k += 1


def generate(size_mib, parts):
    os.makedirs(WORK, exist_ok=True)
    stamp = os.path.join(WORK, f"inputs-{size_mib}-{parts}")
    if os.path.exists(stamp):
        return
    print(f"generating {size_mib} MiB inputs in {WORK} ...", file=sys.stderr)
    data = os.path.join(WORK, "data.bin")
    write_random(data, size_mib << 20, 20261207)
    sh(f"cd {WORK} && uuencode data.bin data.bin > data.uue")
    sh(f"cd {WORK} && base64 data.bin > data.b64")
    with open(os.path.join(WORK, "data.mim"), "wb") as out:
        out.write(b"From: bench@example.org\nSubject: data.bin\nMIME-Version: 1.0\n"
                  b"Content-Type: application/octet-stream; name=\"data.bin\"\n"
                  b"Content-Transfer-Encoding: base64\n"
                  b"Content-Disposition: attachment; filename=\"data.bin\"\n\n")
        with open(os.path.join(WORK, "data.b64"), "rb") as b64:
            shutil.copyfileobj(b64, out)
    # The spool: the uuencoded text cut in `parts` articles, one after another in an mbox.
    with open(os.path.join(WORK, "data.uue"), "rb") as f:
        lines = f.readlines()
    per = (len(lines) + parts - 1) // parts
    with open(os.path.join(WORK, "spool.mbox"), "wb") as out:
        for k in range(parts):
            chunk = lines[k * per:(k + 1) * per]
            if not chunk:
                break
            out.write(b"From bench@example.org Mon Dec  7 10:00:00 2026\n")
            out.write(f"From: bench@example.org\nNewsgroups: alt.binaries.test\n"
                      f"Subject: data.bin ({k + 1}/{parts})\n"
                      f"Message-ID: <{k}@bench>\n\n".encode())
            out.writelines(chunk)
            out.write(b"\n")
    open(stamp, "w").close()


XX_ALPHABET = b"+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"


def generate_speed(parts):
    """The inputs beside which tamsel is measured against itself: the binary xxencoded (made
    here from Python's uuencoder, each character mapped to the xxencode alphabet), and the
    spool's articles as as many files."""
    stamp = os.path.join(WORK, f"speed-{parts}")
    if os.path.exists(stamp):
        return
    print("generating xxencode and one file per article ...", file=sys.stderr)
    import binascii
    table = bytes.maketrans(bytes(range(0x20, 0x60)) + b"`",
                            bytes(XX_ALPHABET[(c - 0x20) & 63] for c in range(0x20, 0x60))
                            + XX_ALPHABET[:1])
    with open(os.path.join(WORK, "data.bin"), "rb") as src, \
            open(os.path.join(WORK, "data.xxe"), "wb") as out:
        out.write(b"begin 644 data.bin\n")
        while True:
            block = src.read(45 * 4096)
            if not block:
                break
            for i in range(0, len(block), 45):
                out.write(binascii.b2a_uu(block[i:i + 45]).translate(table))
        out.write(b"+\nend\n")
    folder = os.path.join(WORK, "parts")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(os.path.join(WORK, "spool.mbox"), "rb") as f:
        articles = f.read().split(b"From bench@example.org Mon Dec  7 10:00:00 2026\n")[1:]
    for k, article in enumerate(articles):
        with open(os.path.join(folder, f"{k + 1:04d}.txt"), "wb") as out:
            out.write(article)
    open(stamp, "w").close()


TRASH = os.path.join(WORK, "trash")
# When the last run removed its moved-aside outputs (see clear()).
REMOVED_STAMP = os.path.join(WORK, "trash-removed")
# ext4 without a journal passes over inodes freed in the last minute (six minutes while their
# inode table block is dirty, as new files keep it) when it allocates new ones.
RECENT_SECONDS = 420


def wait_for_quiet_inodes():
    """Before the many-small-files case: waits until the previous run's removal of thousands
    of files is old enough not to be timed instead of the tools."""
    try:
        left = RECENT_SECONDS - (time.time() - os.path.getmtime(REMOVED_STAMP))
    except OSError:
        return
    if left > 0:
        print(f"waiting {left:.0f} s: the last run removed its outputs just now", file=sys.stderr)
        time.sleep(left)


def remove_trash():
    if os.path.isdir(TRASH):
        shutil.rmtree(TRASH, ignore_errors=True)
        open(REMOVED_STAMP, "w").close()


def clear(out_dir):
    """Empties out_dir. One that holds many files is moved aside whole and removed at the end:
    on ext4 without a journal, inodes freed in the last minutes are passed over one by one when
    new ones are allocated, so removing 10,000 files just before a run would time that search
    instead of the tool."""
    if not os.path.isdir(out_dir):
        return
    if len(os.listdir(out_dir)) > 1000:
        os.makedirs(TRASH, exist_ok=True)
        os.rename(out_dir, os.path.join(TRASH, str(len(os.listdir(TRASH)))))
    else:
        shutil.rmtree(out_dir)


def run_once(cmd, out_dir):
    """Wall seconds and peak RSS (KiB) of one run of `cmd` into an empty out_dir."""
    clear(out_dir)
    os.makedirs(out_dir)
    # Dirty pages of the run before are written back first, so that no run pays for the one
    # before it.
    os.sync()
    rss_file = os.path.join(WORK, "rss")
    # GNU time reports the command's own peak (this Python process is not inherited).
    start = time.perf_counter()
    status = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", rss_file, "sh", "-c", cmd],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    secs = time.perf_counter() - start
    if status != 0:
        raise SystemExit(f"failed ({status}): {cmd}")
    with open(rss_file) as f:
        return secs, int(f.read().split()[-1])


def measure(tools, runs, out_dir):
    """Times every (name, cmd, verify) in `tools` `runs` times, in rounds that run each once in
    turn, so that the machine's ups and downs fall on all of them alike. Returns per tool the
    seconds of every round and the peak RSS (KiB). After its last run each tool's shell
    command `verify` (untimed, may be None) must say that the output is right."""
    times = {name: [] for name, _, _ in tools}
    peak = {name: 0 for name, _, _ in tools}
    for round_ in range(runs):
        for name, cmd, verify in tools:
            secs, rss = run_once(cmd, out_dir)
            times[name].append(secs)
            peak[name] = max(peak[name], rss)
            if round_ == runs - 1 and verify and subprocess.call(
                    ["sh", "-c", verify], stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL) != 0:
                raise SystemExit(f"wrong output: {cmd}")
    return times, peak


def ratio(slower, faster):
    """The median over the rounds of slower / faster seconds."""
    return statistics.median(a / b for a, b in zip(slower, faster))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size", type=int, default=256, help="MiB of binary data")
    ap.add_argument("--parts", type=int, default=500)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--tamsel", default=os.path.join(ROOT, "build/release/cli/tamsel"))
    ap.add_argument("--binhex-size", type=int, default=64, help="MiB of BinHex data")
    ap.add_argument("--small", type=int, default=10000, help="number of small articles")
    ap.add_argument("--large", action="store_true", help="also the 1 GiB spool")
    ap.add_argument("--only", default="", help="run only the inputs whose title contains this")
    ap.add_argument("--baseline", default="",
                    help="another tamsel (an older build) timed beside it on every input")
    ap.add_argument("--generate-only", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.generate_only:
        generate(args.size, args.parts)
        generate_extra(args)
        generate_speed(args.parts)
        if args.large:
            generate_large()
        return
    if not os.access(args.tamsel, os.X_OK):
        raise SystemExit(f"{args.tamsel} missing: build the release preset first")
    # Generated in a child process, so that this one stays small: a child's peak RSS counts
    # what it inherited at fork time.
    subprocess.run([sys.executable, __file__, "--generate-only", "--size", str(args.size),
                    "--parts", str(args.parts), "--binhex-size", str(args.binhex_size),
                    "--small", str(args.small)] + (["--large"] if args.large else []),
                   check=True)

    w = WORK
    out = os.path.join(w, "out")
    data = os.path.join(w, "data.bin")
    result = os.path.join(out, "data.bin")
    t = args.tamsel
    # The I/O floor of a decode: reading its input and writing the decoded size, in one run.
    def floor(name):
        return ("I/O floor", f"cat {w}/{name} > /dev/null && cp {data} {out}/floor.bin",
                f"cmp {out}/floor.bin {data}")
    # Every tool's output is checked byte for byte after its last run, untimed: against the
    # payload, against the file the peer encoder wrote, or against what the peer decodes.
    same = f"cmp {result} {data}"
    small_ref = os.path.join(w, "small.ref")
    small_same = (f"(test -d {small_ref} || (mkdir {small_ref}.tmp && cd {small_ref}.tmp && "
                  f"uudecode {w}/small/*.txt && mv {small_ref}.tmp {small_ref})) && "
                  f"diff -rq {out} {small_ref}")
    mac_same = (f"mkdir {out}/ref && cd {out}/ref && hexbin -d {w}/mac.hqx && "
                f"cmp {out}/ref/mac.bin.data {out}/mac.bin")
    hexbin_same = (f"mkdir {out}/ref && {t} decode -d {out}/ref {w}/mac.hqx && "
                   f"cmp {out}/ref/mac.bin {out}/mac.bin.data")

    cases = [
        ("uuencode", "data.uue", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/data.uue", same),
            ("uudecode", f"uudecode -o {result} {w}/data.uue", same),
            floor("data.uue"),
        ]),
        ("xxencode", "data.xxe", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/data.xxe", same),
        ]),
        ("Base64 (MIME / raw)", "data.mim", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/data.mim", same),
            ("base64 -d", f"base64 -d {w}/data.b64 > {result}", same),
            floor("data.mim"),
        ]),
        ("uuencode from a pipe", "data.uue", [
            ("tamsel", f"cat {w}/data.uue | {t} decode --overwrite -d {out} -", same),
            ("uudecode", f"cat {w}/data.uue | uudecode -o {result}", same),
        ]),
        (f"uu spool, {args.parts} parts", "spool.mbox", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/spool.mbox", same),
        ]),
        (f"uu, {args.parts} files", "parts", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/parts/*", same),
        ]),
        ("yEnc", "data.yenc", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/data.yenc", same),
            ("python3-yenc", f"{ROOT}/bench/yenc_peer.py {w}/data.yenc {result}", same),
            floor("data.yenc"),
        ]),
        ("BinHex", "mac.hqx", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/mac.hqx", mac_same),
            ("hexbin", f"cd {out} && hexbin -d {w}/mac.hqx", hexbin_same),
        ]),
        (f"{args.small} small articles", "small", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/small/*", small_same),
            ("uudecode", f"cd {out} && uudecode {w}/small/*", small_same),
        ]),
    ]
    cases += [
        ("encode uu", "data.bin", [
            ("tamsel", f"{t} encode --overwrite {w}/data.bin {out}/x.uue",
             f"cmp {out}/x.uue {w}/data.uue"),
            ("uuencode", f"uuencode {w}/data.bin data.bin > {out}/y.uue",
             f"cmp {out}/y.uue {w}/data.uue"),
        ]),
        # xxencode beside uuencode: the file is Python's uuencoder mapped to its alphabet.
        ("encode xx", "data.bin", [
            ("tamsel", f"{t} encode --overwrite -t xx {w}/data.bin {out}/x.xxe",
             f"cmp {out}/x.xxe {w}/data.xxe"),
            ("uuencode", f"uuencode {w}/data.bin data.bin > {out}/y.uue",
             f"cmp {out}/y.uue {w}/data.uue"),
        ]),
        ("encode yEnc", "data.bin", [
            ("tamsel", f"{t} encode --overwrite -t yenc {w}/data.bin {out}/x.yenc",
             f"{ROOT}/bench/yenc_peer.py {out}/x.yenc {out}/back.bin && cmp {out}/back.bin {data}"),
            ("python3-yenc", f"{ROOT}/bench/yenc_peer.py --encode {w}/data.bin {out}/y.yenc",
             f"{ROOT}/bench/yenc_peer.py {out}/y.yenc {out}/back.bin && cmp {out}/back.bin {data}"),
        ]),
        ("encode Base64", "data.bin", [
            ("tamsel", f"{t} encode --overwrite -t b64 {w}/data.bin {out}/x.b64",
             f"tail -n +7 {out}/x.b64 | cmp - {w}/data.b64"),
            ("base64", f"base64 {w}/data.bin > {out}/y.b64", f"cmp {out}/y.b64 {w}/data.b64"),
        ]),
    ]
    if args.large:
        cases.append(("1 GiB spool", "large.mbox", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/large.mbox"),
        ]))
    print(f"{'input':28} {'tool':10} {'MB/s':>8} {'peak RSS':>10} {'tamsel is':>10}")
    print("(MB/s of encoded input; for encoding, of the file encoded)")
    # tamsel against itself: the same data as one uuencoded file, timed in the same rounds.
    single_uu = ("uu file", f"{t} decode --overwrite -d {out} {w}/data.uue", same)
    for title, name, tools in cases:
        if args.only and args.only not in title:
            continue
        path = os.path.join(w, name)
        if name == "small":
            wait_for_quiet_inodes()
        if os.path.isdir(path):
            size = sum(os.path.getsize(os.path.join(path, f)) for f in os.listdir(path))
        else:
            size = os.path.getsize(path)
        tools = [(tool, cmd, verify[0] if verify else None) for tool, cmd, *verify in tools]
        if args.baseline:
            first = tools[0]
            tools.insert(1, ("baseline", first[1].replace(t, args.baseline, 1), first[2]))
        beside_uu = name in ("data.xxe", "spool.mbox", "parts")
        timed = tools + [single_uu] if beside_uu else tools
        times, peak = measure(timed, args.runs if name != "large.mbox" else 1, out)
        ours = times["tamsel"]
        for tool, _, _ in tools:
            mbs = size / statistics.median(times[tool]) / 1e6
            if tool == "tamsel":
                shown = ""
            elif tool == "I/O floor":
                shown = f"{ratio(times[tool], ours):.2f}x"
            else:
                shown = f"{ratio(times[tool], ours):.1f}x"
            print(f"{title:28} {tool:10} {mbs:8.0f} {peak[tool] / 1024:8.1f}MB {shown:>10}")
        if beside_uu:
            print(f"{'':28} speed beside the single uu file: "
                  f"{ratio(times[single_uu[0]], ours):.2f}x")
    shutil.rmtree(out, ignore_errors=True)
    remove_trash()


if __name__ == "__main__":
    main()
