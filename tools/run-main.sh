#!/usr/bin/env bash
# The saver's main job, run by `./dev.sh run` after the build.
# Argument: the build directory.
#
# With a working X display: zarnet in a window of its own (close it, or press
# Escape or q, to end). Without one: a short headless recording of one whole
# cycle from the bundled picture, and a contact sheet of its moments
# (assembled, scattered, assembling, finishing, whole) as one PNG whose path
# is printed at the end.
set -euo pipefail
BUILD=$(cd "$1" && pwd)
ZARNET="$BUILD/apps/zarnet"
SHEET="$BUILD/apps/zarnet-contact-sheet"

if [ -n "${DISPLAY:-}" ] && xset q >/dev/null 2>&1; then
  echo "zarnet: drawing on $DISPLAY (close the window, or press Escape or q, to end)" >&2
  if "$ZARNET" --fps; then
    exit 0
  fi
  echo "zarnet: couldn't draw on $DISPLAY; recording headless instead" >&2
fi

OUT="$BUILD/main-run"
rm -rf "$OUT"
mkdir -p "$OUT/config/zarnet"
# The recording's own settings, in a private configuration folder so that
# the user's stay untouched: the first-run values (a board 25 pieces across,
# finishing share 75 %), with the desktop picture (the bundled one here) as
# the source. One cycle takes about five simulated minutes.
cat > "$OUT/config/zarnet/vmZarnetSS.conf" <<'CONF'
[vmZarnetSS]
version=1.0.1
MainMonitorOnly=false
LockInPlace=true
PuzzleWidth=25
Percentage=75
BGType=1
BGPath=/usr/share/backgrounds/
BGRes=1
CONF

echo "zarnet: no X display; recording one cycle headless into $OUT/frames (about a minute)" >&2
XDG_CONFIG_HOME="$OUT/config" "$ZARNET" --record "$OUT/frames" --size 480x300 --fps 10 \
  --seconds 480 --cycles 1 --seed 2 --every 10 --stats \
  --desktop-picture "$BUILD/resources/zarnet-default.png" > "$OUT/stats.jsonl"
"$SHEET" --frames "$OUT/frames" --stats "$OUT/stats.jsonl" --out "$OUT/contact-sheet.png"
grep -E '"event":"(countdown|end)"' "$OUT/stats.jsonl" >&2 || true
echo "Contact sheet: $OUT/contact-sheet.png"
