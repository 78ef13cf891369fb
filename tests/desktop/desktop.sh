# Sourced by the desktop tests: the tools they need, and their body run on a fresh X server
# (Xvfb) under openbox, with the program's settings kept in a scratch directory.
set -euo pipefail

# Skips the test (exit 77) unless every tool is installed.
require_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
    done
}

# Runs the body (a script read from standard input) once openbox is up; the body sees
# $program, $work (the scratch directory) and $wm (the window manager's process).
on_desktop() {
    local program=$1
    work=$(mktemp -d)  # (global: the trap sees it at exit)
    trap 'rm -rf "$work"' EXIT
    {
        cat <<'HEAD'
#!/usr/bin/env bash
set -euo pipefail
program=$1 work=$2
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" HOME="$work" QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR
openbox --sm-disable &
wm=$!
sleep 1
HEAD
        cat
    } >"$work/run.sh"
    chmod +x "$work/run.sh"
    xvfb-run -a -s "-screen 0 1280x1024x24" "$work/run.sh" "$program" "$work"
}
