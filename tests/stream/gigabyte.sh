#!/usr/bin/env bash
# A 1 GiB uuencoded stream piped into tamsel: decoded to the right bytes, in bounded memory
# (what it reads is kept in an unnamed file, never in memory), leaving only the output.
#   gigabyte.sh TAMSEL
set -euo pipefail
tamsel=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/out"
# The stream: "begin", then the same 12 MiB of random bytes uuencoded (by Python's binascii,
# not by us) over and over up to 1 GiB of text, then "end"; and the SHA-256 the decoded file
# must have.
gen='
import binascii, hashlib, os, random, sys
block = random.Random(7).randbytes(45 * 279620)             # 12582900 bytes
text = b"".join(binascii.b2a_uu(block[i:i + 45]) for i in range(0, len(block), 45))
copies = (1 << 30) // len(text) + 1
digest = hashlib.sha256()
for _ in range(copies):
    digest.update(block)
open(sys.argv[1], "w").write("%s %d\n" % (digest.hexdigest(), copies * len(block)))
out = sys.stdout.buffer
out.write(b"begin 644 big.bin\n")
for _ in range(copies):
    out.write(text)
out.write(b"`\nend\n")
'
/usr/bin/python3 -c "$gen" "$work/want" |
    /usr/bin/time -f '%M' -o "$work/rss" "$tamsel" decode -d "$work/out" - 2>"$work/err" >"$work/said" ||
    { cat "$work/err" >&2; echo "FAIL: tamsel failed" >&2; exit 1; }
read -r want size <"$work/want"
rss=$(cat "$work/rss")
echo "decoded $size bytes from a stream of more than 1 GiB; peak memory ${rss} KiB"
[[ $(cat "$work/said") == big.bin ]] || { echo "FAIL: printed $(cat "$work/said")" >&2; exit 1; }
[[ $(ls -A "$work/out") == big.bin ]] || { echo "FAIL: left $(ls -A "$work/out")" >&2; exit 1; }
[[ $(stat -c %s "$work/out/big.bin") == "$size" ]] || { echo "FAIL: wrong size" >&2; exit 1; }
got=$(sha256sum "$work/out/big.bin" | cut -d' ' -f1)
[[ $got == "$want" ]] || { echo "FAIL: the decoded bytes differ" >&2; exit 1; }
# The sanitizers' own memory included, far below the stream's size.
((rss < 300 * 1024)) || { echo "FAIL: ${rss} KiB is not bounded memory" >&2; exit 1; }
