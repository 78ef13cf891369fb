#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and starts the program.
# Without a display (or before the desktop program is built) it runs `tamsel check` instead.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
bin=build/release
if [[ -x $bin/app/tamselwin && ( -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ) ]]; then
    exec "$bin/app/tamselwin" "$@"
fi
if [[ ! -x $bin/app/tamselwin ]]; then
    echo "run.sh: the desktop program is not built yet; running 'tamsel' instead." >&2
else
    echo "run.sh: no display available; running 'tamsel' instead." >&2
fi
if (($#)); then
    exec "$bin/cli/tamsel" check "$@"
fi
exec "$bin/cli/tamsel" --help
