#!/usr/bin/env bash
# Builds Tablorix and starts the desktop program on a database directory: the one given, or the
# demo database, which is written into build/demo the first time.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/deps.sh"
cmake --preset default -S "$here" >/dev/null
cmake --build "$here/build/default" --target tablorix-cli tablorix
cli="$here/build/default/cli/tablorix-cli"
gui="$here/build/default/app/tablorix"
if [ $# -eq 0 ]; then
  dir="$here/build/demo"
  if [ -z "$("$cli" tables "$dir" 2>/dev/null)" ]; then
    "$cli" demo "$dir"
  fi
else
  dir="$1"
fi
if [ ! -d "$dir" ]; then
  echo "Not a directory: $dir" >&2
  exit 2
fi
# The program opens the directory of a table named on its command line; with no table in the
# directory it starts on whatever its settings name.
first="$(find "$dir" -maxdepth 1 -iname '*.db' -print -quit)"
if [ -n "$first" ]; then
  exec "$gui" "$first"
fi
exec "$gui"
