#!/usr/bin/env bash
# Zarnet and XScreenSaver's jigsaw hack side by side on software GL.
#
# Two Xvfb displays of 1280 x 720 (Mesa's llvmpipe renders both), the same
# picture on each: on Zarnet's as the desktop it grabs (first-run settings:
# the desktop grab, 25 pieces across), for jigsaw as its image folder. Both
# run as root-window hacks at the same time for RUN_SECONDS (60); each one's
# frames are counted by the same preloaded swap counter (bench/swap_counter.c)
# and its CPU time is the whole process's utime + stime from /proc, llvmpipe's
# threads included. The steady-state figures leave out the first WARMUP
# seconds (20: start-up, the first board, the blow-up). Then Zarnet alone
# with a 100-across board (5,600 pieces), measured while it assembles.
# The peer is only run, never read.
#
#   bench/side_by_side.sh [--no-large | --large-only] [--picture FILE] [--seconds N]
#
# Installs what it needs (Debian packages, with sudo when not root) and builds
# zarnet into build/ when it isn't there. Screenshots of each display go to
# build/side-by-side/.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-$ROOT/build}
RUN_SECONDS=${RUN_SECONDS:-60}
WARMUP=${WARMUP:-20}
PICTURE=""
LARGE=1
PAIR=1
while [ $# -gt 0 ]; do
  case "$1" in
    --no-large) LARGE=0 ;;
    --large-only) PAIR=0 ;;
    --picture) PICTURE=$2; shift ;;
    --seconds) RUN_SECONDS=$2; shift ;;
    *) echo "usage: $0 [--no-large | --large-only] [--picture FILE] [--seconds N]" >&2; exit 2 ;;
  esac
  shift
done
[ "$RUN_SECONDS" -gt "$WARMUP" ] || WARMUP=0

PEER=/usr/libexec/xscreensaver/jigsaw
NEEDED=(xvfb xauth xscreensaver-gl-extra xscreensaver-data imagemagick gcc libegl-dev libgl-dev)
missing=()
for p in "${NEEDED[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ! -x "$BUILD/apps/zarnet" ]; then
  ./dev.sh build
fi
ZARNET=$BUILD/apps/zarnet
[ -n "$PICTURE" ] || PICTURE=$BUILD/resources/zarnet-default.png

WORK=$(mktemp -d /tmp/zarnet-side.XXXXXX)
OUT=$BUILD/side-by-side
mkdir -p "$OUT"
PIDS=()
cleanup() {
  # The displays are started inside command substitutions (subshells), so
  # their pids come back through a file rather than PIDS.
  for p in "${PIDS[@]}" $(cat "$WORK/display-pids" 2>/dev/null); do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
gcc -O2 -shared -fPIC -o "$WORK/swap_counter.so" "$ROOT/bench/swap_counter.c" -ldl

# An Xvfb of 1280 x 720 whose root shows the picture; prints its display number.
start_display() {
  local fifo=$WORK/displayfd.$1
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  echo $! >>"$WORK/display-pids"
  local number
  read -r number <"$fifo"
  DISPLAY=:$number display -window root -resize '1280x720!' "$PICTURE"
  echo "$number"
}

# Field of /proc/PID/stat (1-based), or 0 when the process is gone.
stat_field() { awk -v f="$2" '{print $f}' "/proc/$1/stat" 2>/dev/null || echo 0; }
cpu_ticks() { echo $(( $(stat_field "$1" 14) + $(stat_field "$1" 15) )); }
frames_of() { awk '{print $2}' "$1" 2>/dev/null || echo 0; }
first_ms() { awk '{print $4}' "$1" 2>/dev/null || echo -; }
rss_mb() { awk '/VmHWM/ {printf "%.0f", $2 / 1024}' "/proc/$1/status" 2>/dev/null || echo -; }

# launch NAME DISPLAY HOME COMMAND...: a process with the swap counter.
launch() {
  local name=$1 number=$2 home=$3; shift 3
  (cd "$home" && exec env HOME="$home" XDG_CONFIG_HOME="$home/.config" DISPLAY=":$number" \
      PATH="/usr/libexec/xscreensaver:$PATH" SWAP_T0_NS="$(date +%s%N)" \
      SWAP_COUNT_FILE="$WORK/$name.count" LD_PRELOAD="$WORK/swap_counter.so" "$@" \
      >"$WORK/$name.log" 2>&1) &
  PIDS+=($!)
  eval "PID_$name=$!"
}

TICK=$(getconf CLK_TCK)
# report NAME PID: one line of figures over the whole run and the steady part.
declare -A F0 C0
mark() { F0[$1]=$(frames_of "$WORK/$1.count"); C0[$1]=$(cpu_ticks "$2"); }
report() {
  local name=$1 pid=$2
  local frames cpu steadyFrames steadyCpu
  frames=$(frames_of "$WORK/$name.count"); cpu=$(cpu_ticks "$pid")
  steadyFrames=$(( frames - ${F0[$name]} )); steadyCpu=$(( cpu - ${C0[$name]} ))
  awk -v n="$name" -v f="$frames" -v c="$cpu" -v sf="$steadyFrames" -v sc="$steadyCpu" -v t="$TICK" \
      -v s="$RUN_SECONDS" -v w="$WARMUP" -v first="$(first_ms "$WORK/$name.count")" -v rss="$(rss_mb "$pid")" 'BEGIN {
    printf "%-10s %7d %6.1f %8.2f %9.1f | %7d %6.1f %9.1f | %8s %6s\n", n, f, f / s, c / t,
      f ? 1000 * c / t / f : 0, sf, sf / (s - w), sf ? 1000 * sc / t / sf : 0, first, rss }'
}
header() {
  printf '%-10s %7s %6s %8s %9s | %7s %6s %9s | %8s %6s\n' program frames fps "cpu s" "cpu/frame" \
    frames fps "cpu/frame" "first ms" "RSS MB"
  printf '%-10s %33s | %s since %ss (ms)\n' "" "(whole run, ms)" "steady:" "$WARMUP"
}

# Zarnet's first-run settings, written by a run of its own; the board width as given.
zarnet_home() {
  local home=$WORK/$1 width=$2
  mkdir -p "$home"
  env HOME="$home" XDG_CONFIG_HOME="$home/.config" "$ZARNET" --record "$home/first" --size 64x36 \
    --seconds 0.05 --fps 20 >/dev/null 2>&1
  sed -i "s/^PuzzleWidth=.*/PuzzleWidth=$width/" "$home/.config/zarnet/vmZarnetSS.conf"
  rm -rf "$home/first"
  echo "$home"
}

echo "machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo), $(uptime | sed 's/.*load/load/')"
echo "picture: $PICTURE; ${RUN_SECONDS}s at 1280x720 on llvmpipe"

D1=$(start_display zarnet)
if [ "$PAIR" = 1 ]; then
  D2=$(start_display jigsaw)
  ZHOME=$(zarnet_home zarnet 25)
  JHOME=$WORK/jigsaw-home
  mkdir -p "$JHOME/pictures"
  cp "$PICTURE" "$JHOME/pictures/"
  printf 'grabDesktopImages: False\nchooseRandomImages: True\nimageDirectory: %s\n' "$JHOME/pictures" \
    >"$JHOME/.xscreensaver"

  launch zarnet "$D1" "$ZHOME" "$ZARNET" --root
  launch jigsaw "$D2" "$JHOME" "$PEER" -root
  sleep "$WARMUP"
  mark zarnet "$PID_zarnet"; mark jigsaw "$PID_jigsaw"
  sleep $(( RUN_SECONDS - WARMUP ))
  DISPLAY=:$D1 import -window root "$OUT/zarnet.png" || true
  DISPLAY=:$D2 import -window root "$OUT/jigsaw.png" || true
  header
  report zarnet "$PID_zarnet"
  report jigsaw "$PID_jigsaw"
  kill "$PID_zarnet" "$PID_jigsaw" 2>/dev/null || true
fi

if [ "$LARGE" = 1 ]; then
  # The large board assembles from about 16 s on; measured from WARMUP on.
  [ "$PAIR" = 1 ] || header
  LHOME=$(zarnet_home large 100)
  launch large "$D1" "$LHOME" "$ZARNET" --root
  sleep "$WARMUP"
  mark large "$PID_large"
  sleep $(( RUN_SECONDS - WARMUP ))
  DISPLAY=:$D1 import -window root "$OUT/zarnet-100.png" || true
  report large "$PID_large"
  kill "$PID_large" 2>/dev/null || true
fi
echo "screenshots: $OUT"
