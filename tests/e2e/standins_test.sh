#!/bin/sh
# The committed data stand-ins are exactly what tools/placeholder/make-standins.sh writes.
# Contract: standins_test.sh SOURCE_DIR OUT_DIR; exit 0 when all thirteen files are reproduced byte for byte.
set -eu
source=$1 out=$2
rm -rf "$out"
sh "$source/tools/placeholder/make-standins.sh" "$out"
status=0
for file in "$out"/*; do
    name=$(basename "$file")
    cmp -s "$file" "$source/payload/$name" || { echo "FAIL $name differs from payload/$name"; status=1; }
done
[ "$(ls "$out" | wc -l)" -eq 13 ] || { echo "FAIL expected 13 files"; status=1; }
[ $status = 0 ] && echo "stand-ins reproduced: 13 files identical"
exit $status
