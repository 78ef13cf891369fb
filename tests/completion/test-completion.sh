#!/usr/bin/env bash
# The bash completion of tamsel: sourced into a `bash --norc`, its function is called the way
# bash calls it for a command line, and COMPREPLY is compared with what should be offered.
# It runs once on plain bash and, when the bash-completion package is installed, once more
# with that package loaded (the completion then uses its _filedir).
# Usage: test-completion.sh COMPLETION_FILE
set -euo pipefail

completion=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Directories and files to complete among (one name with a blank, one that looks like an option).
mkdir "$scratch/out" "$scratch/in box" "$scratch/archive.d"
touch "$scratch/a.uue" "$scratch/archive.zip" "$scratch/my file.uue" "$scratch/--odd.uue"

cat >"$scratch/cases.sh" <<'CASES'
set -euo pipefail
completion=$1 mode=$2
if [[ $mode == bash-completion ]]; then
    set +u  # the package's own script is not written for -u
    source /usr/share/bash-completion/bash_completion
    set -u
    declare -F _filedir >/dev/null || { echo "bash-completion loaded but _filedir missing"; exit 1; }
fi
source "$completion"
[[ $(complete -p tamsel) == *"-F _tamsel"* ]] || { echo "tamsel is not completed by _tamsel"; exit 1; }

failures=0
# expect LINE [WORD...]: completing at the end of LINE offers exactly the WORDs, in any order.
expect() {
    local line=$1
    shift
    local -a COMP_WORDS COMPREPLY=()
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=("")
    local COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$line COMP_POINT=${#line}
    # As in an interactive shell: completion functions run without -e and -u.
    set +eu
    _tamsel tamsel "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    set -eu
    local got want
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd'|')
    want=$(printf '%s\n' "$@" | sort | paste -sd'|')
    if [[ $got != "$want" ]]; then
        echo "FAIL ($mode) '$line': offered [$got], expected [$want]"
        failures=$((failures + 1))
    fi
}

# Commands, and the options before one.
expect "tamsel " check decode encode help
expect "tamsel d" decode
expect "tamsel --v" --version
# Options per command: each command offers its own only.
expect "tamsel decode --o" --overwrite
expect "tamsel check --" --recursive --json --help
expect "tamsel decode -r --" --recursive --overwrite --ignore-errors --help
expect "tamsel encode -" -t -l -d --overwrite -h --help
# Values of options.
expect "tamsel encode -t " uu xx b64 yenc
expect "tamsel encode --overwrite -t y" yenc
expect "tamsel encode -l " # a number: nothing to offer
expect "tamsel decode -d " "archive.d" "in box" out
expect "tamsel decode -r -d o" out
expect "tamsel encode -d " "archive.d" "in box" out
# check takes no -t or -d: what follows them is a file.
expect "tamsel check -d a" a.uue archive.d archive.zip
# help completes command names, once.
expect "tamsel help ch" check
expect "tamsel help " check decode encode help
expect "tamsel help check " # nothing after the command
# Files elsewhere, a name with a blank kept whole; after "--" a name beginning with '-'.
expect "tamsel decode a" a.uue archive.d archive.zip
expect "tamsel check my" "my file.uue"
expect "tamsel encode archive.zip a" a.uue archive.d archive.zip
expect "tamsel decode -- --" --odd.uue

if ((failures)); then
    echo "$failures completion case(s) failed ($mode)"
    exit 1
fi
echo "all completion cases pass ($mode)"
CASES

cd "$scratch"
bash --norc --noprofile "$scratch/cases.sh" "$completion" plain
if [[ -r /usr/share/bash-completion/bash_completion ]]; then
    bash --norc --noprofile "$scratch/cases.sh" "$completion" bash-completion
else
    echo "bash-completion is not installed: only the plain run was made"
fi
