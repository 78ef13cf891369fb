#!/usr/bin/env bash
# Refreshes docs/screenshot.png: the desktop program under Xvfb after checking a posting in
# three parts (one of them missing) and a complete attachment.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh x11-apps xdotool imagemagick
cmake --preset release >/dev/null
cmake --build --preset release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

head -c 150000 /dev/urandom >"$work/holiday.jpg"
uuencode "$work/holiday.jpg" holiday.jpg >"$work/holiday.uue"
split -n l/4 -d "$work/holiday.uue" "$work/chunk"
for n in 1 2 4; do
    printf 'From: poster@example.org\nSubject: holiday.jpg (%d/4)\n\n' "$n" >"$work/holiday-$n.txt"
    cat "$work/chunk0$((n - 1))" >>"$work/holiday-$n.txt"
done
head -c 20000 /dev/urandom >"$work/notes.pdf"
base64 "$work/notes.pdf" | {
    printf 'Subject: notes\nMIME-Version: 1.0\nContent-Type: application/pdf; name="notes.pdf"\n'
    printf 'Content-Transfer-Encoding: base64\n\n'
    cat
} >"$work/notes.mim"

cat >"$work/shoot.sh" <<SHOOT
#!/usr/bin/env bash
set -euo pipefail
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
"$PWD/build/release/app/tamselwin" "$work/holiday-1.txt" "$work/holiday-2.txt" \\
    "$work/holiday-4.txt" "$work/notes.mim" &
pid=\$!
for _ in \$(seq 50); do
    wid=\$(xdotool search --name "Corvane/Encoder for WIN32" 2>/dev/null | head -1) && break
    sleep 0.2
done
sleep 6   # the splash closes after five seconds
xdotool windowfocus --sync "\$wid" key alt+c
sleep 1
# Show the problems of the first output, as a double-click on its name does.
xdotool mousemove --window "\$wid" 430 134 click --repeat 2 --delay 80 1
sleep 1
# The main window and the Information Window below it (no window manager: both at their spots).
eval "\$(xdotool getwindowgeometry --shell "\$wid")"
xwd -silent -root | convert xwd:- -crop "\${WIDTH}x\$((HEIGHT + 110))+0+0" +repage \
    "$PWD/docs/screenshot.png"
kill \$pid
SHOOT
chmod +x "$work/shoot.sh"
xvfb-run -a -s "-screen 0 1024x768x24" "$work/shoot.sh"
echo "docs/screenshot.png refreshed"
