#!/bin/sh
# Packs sample tables into fuzz_reader inputs (layout in fuzz_reader.cc) under fuzz/corpus/.
set -e
here=$(cd "$(dirname "$0")" && pwd)
data="$here/../engine/tests/data/paradox"
out="$here/corpus"
mkdir -p "$out"
# pack NAME FLAGS TABLE [BLOB] [INDEX]
pack() {
  name=$1 flags=$2 db=$3 mb=${4:-} ix=${5:-}
  python3 - "$out/$name" "$flags" "$db" "$mb" "$ix" <<'PY'
import struct, sys
out, flags, db, mb, ix = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
t = open(db, 'rb').read()
b = open(mb, 'rb').read() if mb else b''
x = open(ix, 'rb').read() if ix else b''
open(out, 'wb').write(bytes([flags]) + struct.pack('<II', len(t), len(b)) + t + b + x)
PY
}
for t in bcd bytes date35 date4 date5 date7 logical long time timestamp; do
  pack "$t" 0 "$data/fields/$t.db"
done
pack encrypted 0 "$data/encrypted/encrypted.db"
for t in memo fmemo graphic240; do
  pack "$t" 1 "$data/fields/$t.db" "$data/fields/$t.mb"
done
pack long-px 10 "$data/fields/long.db" "" "$data/fields/long.px"
pack C-x02 2 "$data/indexes/C.DB" "" "$data/indexes/C.X02"
pack C-x03 14 "$data/indexes/C.DB" "" "$data/indexes/C.X03"
pack case-x01 2 "$data/indexes/case.db"
pack fk4-xg0 6 "$data/indexes/fk4.db" "" "$data/indexes/fk4.XG0"
pack indexed-xg0 6 "$data/indexes/indexed.db" "" "$data/indexes/indexed.xg0"
pack multiple-x02 2 "$data/indexes/multiple.db" "" "$data/indexes/multiple.X02"
pack primary-px 10 "$data/indexes/primary.db" "" "$data/indexes/primary.px"
# Flag 16: the rest is the table's .VAL.
pack logical-val 16 "$data/fields/logical.db" "" "$data/fields/logical.val"
pack multiple-val 16 "$data/indexes/multiple.db" "" "$data/indexes/multiple.val"
