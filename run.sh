#!/usr/bin/env bash
# Builds Tablorix and opens a database directory: the one given, or the demo database, which is
# written into build/demo the first time.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/deps.sh"
cmake --preset default -S "$here" >/dev/null
cmake --build "$here/build/default" --target tablorix-cli
cli="$here/build/default/cli/tablorix-cli"
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
echo "Database: $dir"
while IFS= read -r table; do
  echo
  "$cli" describe "$dir" "$table" || true
done < <("$cli" tables "$dir")
