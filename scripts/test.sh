#!/usr/bin/env bash
# Sets up, builds and runs every test (GUI tests on Qt's offscreen platform).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/bootstrap.sh"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$here/build" --output-on-failure -j "$(nproc)" "$@"
