#!/usr/bin/env bash
# Zarnet developer entry point.
#   ./dev.sh run    install what is missing, build, run the saver's main job
#   ./dev.sh test   install what is missing, build, run every test (also under ASan/UBSan), fuzz a while,
#                   check formatting and clang-tidy (tools/check.sh)
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}

PACKAGES=(build-essential cmake pkg-config libegl-dev libopengl-dev libgl-dev
  libglu1-mesa-dev libegl-mesa0 libglx-mesa0 libgl1-mesa-dri libx11-dev libxrandr-dev
  libglib2.0-dev libgtk-3-dev libjpeg62-turbo-dev libpng-dev libgif-dev libfreetype-dev
  fonts-dejavu-core libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth
  x11-xserver-utils xdotool libexif-dev libwebp-dev librsvg2-dev
  xscreensaver desktop-file-utils libxml2-utils man-db dpkg-dev file
  clang libclang-rt-14-dev clang-format clang-tidy)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "dev.sh: installing ${missing[*]}" >&2
  local SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() { # build DIR [extra cmake args...]
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

cmd=${1:-}
case "$cmd" in
  build)   # install what is missing and build, nothing more (used by bench scripts)
    install_packages
    build "$ROOT/build"
    ;;
  run)
    install_packages
    build "$ROOT/build"
    exec "$ROOT/tools/run-main.sh" "$ROOT/build"
    ;;
  test)
    install_packages
    build "$ROOT/build"
    (cd "$ROOT/build" && ctest --output-on-failure -j "$JOBS" --timeout 1500)
    # Second build: the unit and headless-GL tests again under AddressSanitizer
    # and UBSan (the X11 tests stay out: Mesa's GLX leaks a few bytes by design).
    build "$ROOT/build-asan" -DZARNET_SANITIZE=ON -DZARNET_BENCH=OFF
    (cd "$ROOT/build-asan" && \
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
      LSAN_OPTIONS=suppressions="$ROOT/.ci/lsan.supp":print_suppressions=0 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --output-on-failure -j "$JOBS" --timeout 2400 -L 'unit|gl')
    # Third: the fuzz harnesses (clang, build-fuzz), a minute each from the
    # corpus in the repository, worked on in a temporary copy; any crash fails.
    "$ROOT/fuzz/run.sh" --ci --time 60
    # Last: the tree's habits (tools/check.sh), formatting on every file and
    # clang-tidy on the program's sources, with build/'s compile commands.
    JOBS="$JOBS" "$ROOT/tools/check.sh" --no-tests "$ROOT/build"
    ;;
  *)
    echo "usage: $0 run|test|build" >&2; exit 2 ;;
esac
