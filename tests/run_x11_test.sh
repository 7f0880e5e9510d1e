#!/bin/sh
# Runs one test executable on a private X server (Xvfb) with Qt's X11 platform, for
# the checks that only the window system can answer (window titles as X holds them).
# The server listens on a Unix socket only and is stopped when the test ends.
set -eu
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kartax-x11.XXXXXX")
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$scratch/display" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; rm -rf "$scratch"' EXIT INT TERM
i=0
while [ ! -s "$scratch/display" ] && [ "$i" -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
DISPLAY=":$(cat "$scratch/display")"
export DISPLAY
here=$(dirname "$0")
# libxkbcommon-x11 hands strndup() names that end at the given length, not at a NUL;
# AddressSanitizer's strict string checks would count that as an overflow.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
    export ASAN_OPTIONS
fi
# The private folders of the usual runner; then the X11 platform instead of offscreen.
QT_QPA_PLATFORM=xcb "$here/run_test.sh" env QT_QPA_PLATFORM=xcb "$@"
