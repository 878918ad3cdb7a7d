#!/usr/bin/env bash
# Builds Tablorix and opens a database directory: the one given, or the bundled demo tables.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/deps.sh"
cmake --preset default -S "$here" >/dev/null
cmake --build "$here/build/default" --target tablorix-cli
cli="$here/build/default/cli/tablorix-cli"
dir="${1:-$here/engine/tests/data/paradox/fields}"
if [ ! -d "$dir" ]; then
  echo "Not a directory: $dir" >&2
  exit 2
fi
echo "Database: $dir"
while IFS= read -r table; do
  echo
  "$cli" describe "$dir" "$table" || true
done < <("$cli" tables "$dir")
