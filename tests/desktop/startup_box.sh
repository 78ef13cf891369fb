#!/usr/bin/env bash
# The real desktop program on an X server with a window manager (Xvfb, openbox), started with a
# file that does not exist: the box that says so comes up while the splash is still there, and
# is above it (the window manager's stacking order) with the keyboard focus.
# Usage: startup_box.sh TAMSELWIN   (exit 77: skipped, a tool is missing)
source "$(dirname "$0")/desktop.sh"
require_tools Xvfb xvfb-run openbox xdotool xprop
on_desktop "$1" <<'RUN'
"$program" "$work/missing.uue" &
app=$!
trap 'kill $app $wm 2>/dev/null || true' EXIT
box=""
for _ in $(seq 100); do
    for id in $(xdotool search --onlyvisible --name "Corvane/Encoder for WIN32" 2>/dev/null); do
        if xprop -id "$id" _NET_WM_WINDOW_TYPE | grep -q DIALOG; then box=$id; fi
    done
    [[ -n $box ]] && break
    sleep 0.1
done
[[ -n $box ]] || { echo "no box came up"; exit 1; }
sleep 0.5
splash=$(xdotool search --onlyvisible --class tamselwin 2>/dev/null |
    while read -r id; do xprop -id "$id" _NET_WM_WINDOW_TYPE | grep -q SPLASH && echo "$id"; done |
    head -1 || true)
[[ -n $splash ]] || { echo "the splash is gone already: nothing to test"; exit 1; }
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')
position() {  # of a window in the stacking order, bottom first
    local i=0
    for w in $stacking; do
        (( w == $1 )) && { echo $i; return; }
        i=$((i + 1))
    done
    echo -1
}
echo "box $box at $(position "$box"), splash $splash at $(position "$splash") in: $stacking"
(( $(position "$box") > $(position "$splash") )) || { echo "the box is under the splash"; exit 1; }
active=$(xdotool getactivewindow)
(( active == box )) || { echo "the box does not have the focus (active: $active)"; exit 1; }
xdotool key Return 2>/dev/null || true  # answers the box
RUN
