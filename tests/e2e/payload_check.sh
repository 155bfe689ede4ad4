#!/bin/sh
# Checks a payload folder against the payload table: names, sizes, worksheet signature, the notes text's form.
# Contract: payload_check.sh PAYLOAD_DIR; exit 0 when all fourteen files are as the table says.
set -eu
dir=$1
status=0
total=0
check() {
    name=$1 size=$2
    if [ ! -f "$dir/$name" ]; then echo "FAIL $name missing"; status=1; return; fi
    got=$(wc -c < "$dir/$name")
    total=$((total + got))
    [ "$got" -eq "$size" ] || { echo "FAIL $name: $got bytes, want $size"; status=1; }
}
check "Brindavel.exe" 1871360
check "Notiz.txt" 26
check "Temperatur-1.dsb" 17838
check "Temperatur-2.dsb" 17955
check "Temperatur-3.dsb" 18015
check "Temperatur-4.dsb" 18135
check "Temperatur-5.dsb" 18269
check "Temperatur-6.dsb" 18239
check "Temperatur-1'.dsb" 17873
check "Temperatur-2'.dsb" 17946
check "Temperatur-3'.dsb" 18054
check "Temperatur-4'.dsb" 18121
check "Temperatur-5'.dsb" 18250
check "Temperatur-6'.dsb" 18264
[ "$total" -eq 2088345 ] || { echo "FAIL total $total, want 2088345"; status=1; }
signature=$(printf 'DTSB\000\000\rDASYLab V 9.00.00' | od -An -tx1 | tr -d ' \n')
for sheet in "$dir"/Temperatur-*.dsb; do
    head=$(head -c 24 "$sheet" | od -An -tx1 | tr -d ' \n')
    [ "$head" = "$signature" ] || { echo "FAIL $(basename "$sheet"): no worksheet signature"; status=1; }
done
[ "$(head -c 2 "$dir/Brindavel.exe")" = MZ ] || { echo "FAIL Brindavel.exe does not start with MZ"; status=1; }
if tr -d '\r\n' < "$dir/Notiz.txt" | cmp -s - "$dir/Notiz.txt"; then :; else echo "FAIL Notiz.txt has a line end"; status=1; fi
[ $status = 0 ] && echo "payload: fourteen files as the table says, 2088345 bytes"
exit $status
