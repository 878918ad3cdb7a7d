#!/usr/bin/env bash
# Builds everything and runs every test.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/deps.sh"
cmake --preset default -S "$here"
cmake --build "$here/build/default"
ctest --test-dir "$here/build/default" --output-on-failure -j2
