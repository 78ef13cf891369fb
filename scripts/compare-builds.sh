#!/usr/bin/env bash
# Runs two tamsel builds over every file of a corpus and prints where they differ: what
# `check --json` says of each file and what `decode --ignore-errors` writes (names and bytes),
# file by file and for the corpus in batches of 40 (which joins parts across files).
# Usage: scripts/compare-builds.sh OLD_TAMSEL NEW_TAMSEL CORPUS_DIR
# Exit status 0 when they agree everywhere, 1 otherwise.
set -uo pipefail
old=$1 new=$2 corpus=$(cd "$3" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One run of a build over a list of inputs: the check's report and a digest of the files
# written, with the temporary paths taken out.
run() {
    local tamsel=$1 out=$2
    shift 2
    rm -rf "$out" && mkdir -p "$out"
    {
        timeout 60 "$tamsel" check --json "$@" 2>&1
        echo "check: $?"
        timeout 60 "$tamsel" decode --ignore-errors -d "$out" "$@" 2>&1
        echo "decode: $?"
        (cd "$out" && find . -type f -print0 | sort -z | xargs -0 -r sha1sum)
    } | sed "s|$out|OUT|g; s|$corpus|CORPUS|g"
}

mapfile -t files < <(find "$corpus" -maxdepth 1 -type f | sort)
differ=0
compare() {
    local label=$1
    shift
    run "$old" "$work/o" "$@" >"$work/old.txt"
    run "$new" "$work/n" "$@" >"$work/new.txt"
    if ! cmp -s "$work/old.txt" "$work/new.txt"; then
        differ=$((differ + 1))
        echo "=== differs: $label"
        diff "$work/old.txt" "$work/new.txt" | head -20
    fi
}
for f in "${files[@]}"; do
    compare "$(basename "$f")" "$f"
done
for ((i = 0; i < ${#files[@]}; i += 40)); do
    compare "batch $i" "${files[@]:i:40}"
done
echo "${#files[@]} files, $differ run(s) differ"
[ "$differ" -eq 0 ]
