#!/usr/bin/env bash
# The saver's main job, run by `./dev.sh run` after the build.
# Argument: the build directory.
set -euo pipefail
BUILD=$1
exec "$BUILD/apps/zarnet-cycle" --seconds 300 --seed 1
