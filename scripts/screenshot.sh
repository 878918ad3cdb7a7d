#!/usr/bin/env bash
# Takes the README's screenshot: the program on the demo database, drawn on a virtual X server.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cmake --preset default -S "$here" >/dev/null
cmake --build "$here/build/default" --target tablorix-cli tablorix_screenshot
demo="$(mktemp -d)"
trap 'rm -rf "$demo"' EXIT
"$here/build/default/cli/tablorix-cli" demo "$demo/demo" >/dev/null
# The program's settings go to a scratch home, so the user's own are left alone.
HOME="$demo" XDG_CONFIG_HOME="$demo/config" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x800x24" \
  "$here/build/default/app/tablorix_screenshot" "$demo/demo" "$here/docs/screenshot.png"
