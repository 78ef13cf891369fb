#!/usr/bin/env python3
"""Decode benchmark: tamsel beside the single-purpose peers, on the same inputs, in one run.

Inputs are generated from a fixed seed into bench/work/ (reused when present): a binary of
--size MiB, its uuencoded form (sharutils uuencode), its Base64 (coreutils base64) and a MIME
message with it, and a spool of --parts uuencoded articles. Every command runs --runs times;
the table shows the median MB/s of encoded input and the peak resident memory, and how many
times faster tamsel is than the peer on the same input.

Usage: bench/run_bench.py [--size MiB] [--parts N] [--runs N] [--tamsel PATH]
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


def generate(size_mib, parts):
    os.makedirs(WORK, exist_ok=True)
    stamp = os.path.join(WORK, f"inputs-{size_mib}-{parts}")
    if os.path.exists(stamp):
        return
    print(f"generating {size_mib} MiB inputs in {WORK} ...", file=sys.stderr)
    rng = random.Random(20261207)
    data = os.path.join(WORK, "data.bin")
    with open(data, "wb") as f:
        left = size_mib << 20
        while left:
            n = min(left, 16 << 20)
            f.write(rng.randbytes(n))
            left -= n
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


def measure(cmd, runs, out_dir, check_file=None, expect=None):
    """Median wall seconds and peak RSS (KiB) of `cmd` over `runs` runs."""
    times, peak = [], 0
    for _ in range(runs):
        shutil.rmtree(out_dir, ignore_errors=True)
        os.makedirs(out_dir)
        rss_file = os.path.join(WORK, "rss")
        # GNU time reports the command's own peak (this Python process is not inherited).
        start = time.perf_counter()
        status = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", rss_file, "sh", "-c",
                                  "exec " + cmd], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
        with open(rss_file) as f:
            peak = max(peak, int(f.read().split()[-1]))
        if status != 0:
            raise SystemExit(f"failed ({status}): {cmd}")
        if check_file and expect:
            if os.path.getsize(check_file) != os.path.getsize(expect):
                raise SystemExit(f"wrong output size: {cmd}")
    return statistics.median(times), peak


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size", type=int, default=256, help="MiB of binary data")
    ap.add_argument("--parts", type=int, default=500)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--tamsel", default=os.path.join(ROOT, "build/release/cli/tamsel"))
    ap.add_argument("--generate-only", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.generate_only:
        generate(args.size, args.parts)
        return
    if not os.access(args.tamsel, os.X_OK):
        raise SystemExit(f"{args.tamsel} missing: build the release preset first")
    # Generated in a child process, so that this one stays small: a child's peak RSS counts
    # what it inherited at fork time.
    subprocess.run([sys.executable, __file__, "--generate-only", "--size", str(args.size),
                    "--parts", str(args.parts)], check=True)

    w = WORK
    out = os.path.join(w, "out")
    data = os.path.join(w, "data.bin")
    result = os.path.join(out, "data.bin")
    t = args.tamsel
    cases = [
        ("uuencode", "data.uue", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/data.uue"),
            ("uudecode", f"uudecode -o {result} {w}/data.uue"),
        ]),
        ("Base64 (MIME / raw)", "data.mim", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/data.mim"),
            ("base64 -d", f"base64 -d {w}/data.b64 > {result}"),
        ]),
        (f"uu spool, {args.parts} parts", "spool.mbox", [
            ("tamsel", f"{t} decode --overwrite -d {out} {w}/spool.mbox"),
        ]),
    ]
    print(f"{'input':28} {'tool':10} {'MB/s':>8} {'peak RSS':>10} {'tamsel is':>10}")
    single_uu = None
    for title, name, tools in cases:
        size = os.path.getsize(os.path.join(w, name))
        ours = None
        for tool, cmd in tools:
            secs, rss = measure(cmd, args.runs, out, result, data)
            mbs = size / secs / 1e6
            if tool == "tamsel":
                ours = secs
                ratio = ""
            else:
                ratio = f"{secs / ours:.1f}x"
            print(f"{title:28} {tool:10} {mbs:8.0f} {rss / 1024:8.1f}MB {ratio:>10}")
        if name == "data.uue":
            single_uu = ours
        if name == "spool.mbox":
            print(f"{'':28} spool / single file time: {ours / single_uu:.2f}")
    shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    main()
