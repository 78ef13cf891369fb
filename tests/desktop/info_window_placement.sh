#!/usr/bin/env bash
# The real desktop program on an X server with a window manager (Xvfb, openbox): the Information
# Window lies below the form where the window manager put the frame, its left 200 pixels right
# of the form's and its top at the form's bottom, in screen coordinates; after the frame is
# moved, hiding and showing it again puts it below the frame where it is now. Geometry is read
# from outside the program, with xdotool.
# Usage: info_window_placement.sh TAMSELWIN   (exit 77: skipped, a tool is missing)
source "$(dirname "$0")/desktop.sh"
require_tools Xvfb xvfb-run openbox xdotool
on_desktop "$1" <<'RUN'
"$program" &
app=$!
trap 'kill $app $wm 2>/dev/null || true' EXIT
find_window() {
    for _ in $(seq 100); do
        if id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [[ -n $id ]]; then
            echo "$id"
            return
        fi
        sleep 0.1
    done
    echo "no window named '$1'" >&2
    exit 1
}
geometry() {  # x y width height of a window's client area on the screen
    eval "$(xdotool getwindowgeometry --shell "$1")"
    echo "$X $Y $WIDTH $HEIGHT"
}
frame=$(find_window "Corvane/Encoder for WIN32")
info=$(find_window "Information Window")
sleep 6  # the splash closes after five seconds
check() {
    read -r fx fy fw fh <<<"$(geometry "$frame")"
    read -r ix iy _ _ <<<"$(geometry "$info")"
    # The form fills the frame below its menu and toolbar, above its status bar (a pixel or two
    # of margin around it): the window is 200 right of the frame's left and below the form,
    # within the status bar's height.
    echo "$1: frame at $fx,$fy ${fw}x$fh, Information Window at $ix,$iy"
    (( ix >= fx + 200 && ix <= fx + 203 )) || { echo "  its left should be $((fx + 200))"; exit 1; }
    (( iy > fy + fh - 40 && iy <= fy + fh )) || { echo "  its top should be at the form's bottom"; exit 1; }
}
check "placed by the window manager"
(( $(geometry "$frame" | cut -d' ' -f1) > 0 )) || { echo "the window manager did not place the frame"; exit 1; }
xdotool windowmove --sync "$frame" 300 200
sleep 0.5
# View > Info Window, twice: hidden, then shown again.
for _ in 1 2; do
    xdotool windowactivate --sync "$frame" key --clearmodifiers alt+v
    sleep 0.3
    xdotool key i
    sleep 0.5
done
info=$(find_window "Information Window")
check "after the frame moved"
RUN
