#!/usr/bin/env bash
# Releases the three mouse buttons on the display of a Wine test session.
#   release_buttons.sh STATE_DIR XDOTOOL
set -u
[ $# -eq 2 ] || { echo "usage: release_buttons.sh STATE_DIR XDOTOOL" >&2; exit 2; }
state_file=$1/session.env
[ -f "$state_file" ] || { echo "no session in $1" >&2; exit 1; }
# shellcheck disable=SC1090
. "$state_file"
DISPLAY=$DISPLAY timeout 10 "$2" mouseup 1 mouseup 2 mouseup 3
