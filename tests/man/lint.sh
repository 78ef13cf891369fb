#!/usr/bin/env bash
# The manual pages are clean: neither groff with every warning on nor mandoc's lint has anything
# to say about them, and man(1) renders them at 80 columns without a word on standard error.
# First the checks are shown to catch a broken page, so that a silent linter cannot pass.
# Usage: lint.sh PAGE...
set -euo pipefail

for tool in groff mandoc man; do
    command -v "$tool" >/dev/null ||
        { echo "$tool is not installed (scripts/install-deps.sh installs it)"; exit 1; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Prints what is wrong with a page; returns 1 when anything is.
problems() {
    local page=$1 out rc=0
    # -ww: every warning. (-wall leaves out the mac, di and reg groups, so groff 1.22 says
    # nothing of an undefined macro under it.)
    out=$(groff -ww -man -Tutf8 -z "$page" 2>&1) || rc=$?
    if [[ -n $out || $rc -ne 0 ]]; then
        printf 'groff -ww (exit %d):\n%s\n' "$rc" "$out"
        rc=1
    fi
    local lint lrc=0
    lint=$(mandoc -T lint -W warning "$page" 2>&1) || lrc=$?
    if [[ -n $lint || $lrc -ne 0 ]]; then
        printf 'mandoc -T lint (exit %d):\n%s\n' "$lrc" "$lint"
        rc=1
    fi
    local mrc=0
    MANWIDTH=80 MANPAGER=cat PAGER=cat man -l "$page" >"$scratch/out" 2>"$scratch/err" || mrc=$?
    if ((mrc != 0)) || [[ -s $scratch/err ]]; then
        printf 'man -l (exit %d):\n%s\n' "$mrc" "$(cat "$scratch/err")"
        rc=1
    fi
    # A page that renders to nothing, or not as a manual page, is no page.
    local name
    name=$(basename "$page" .1)
    if ! grep -q '^NAME' "$scratch/out" || ! grep -qi "^ *$name " "$scratch/out"; then
        printf 'man -l: the rendering has no NAME section naming %s (%d bytes)\n' "$name" \
            "$(wc -c <"$scratch/out")"
        rc=1
    fi
    # (An example line too long to fit is not broken by man: it runs past the margin.)
    local width
    width=$(LC_ALL=C.UTF-8 wc -L <"$scratch/out")
    if ((width > 80)); then
        echo "man -l: lines $width columns wide, more than 80"
        rc=1
    fi
    return "$rc"
}

# The checks themselves: an unknown macro, a font escape left open and a block never closed
# must each be reported.
printf '%s\n' '.TH BROKEN 1 2026-01-01 x y' '.SH NAME' 'broken \- a page' '.SH DESCRIPTION' \
    '.XY unknown macro' 'text in \fBbold' '.RS' 'indented' >"$scratch/broken.1"
if report=$(problems "$scratch/broken.1"); then
    echo "a broken page passed the checks; they check nothing"
    exit 1
fi
for tool in 'groff -ww' 'mandoc -T lint'; do
    [[ $report == *"$tool"* ]] || { echo "$tool missed the broken page:"; echo "$report"; exit 1; }
done

failed=0
for page in "$@"; do
    if report=$(problems "$page"); then
        echo "ok: $page"
    else
        echo "FAIL: $page"
        echo "$report"
        failed=1
    fi
done
exit "$failed"
