#!/bin/sh
# Writes the thirteen data stand-ins of the payload (twelve worksheets, the notes text) into a folder.
# Contract: make-standins.sh <folder>; the output is the same byte for byte on every run and machine.
set -eu
out=${1:?usage: make-standins.sh <folder>}
mkdir -p "$out"
export LC_ALL=C

# A worksheet: the worksheet signature, then a readable line that says what the file is, repeated and cut to the size.
worksheet() {
    name=$1 size=$2
    line=$(printf '\r\nPlatzhalter fuer das DASYLab-Arbeitsblatt %s: gleiche Groesse wie das Original, kein echter Inhalt.' "$name")
    {
        printf 'DTSB\000\000\rDASYLab V 9.00.00'
        i=0
        while [ $i -lt 200 ]; do printf '%s' "$line"; i=$((i + 1)); done
    } | head -c "$size" > "$out/$name"
    [ "$(wc -c < "$out/$name")" -eq "$size" ] || { echo "make-standins: $name came out short" >&2; exit 1; }
}

worksheet "Temperatur-1.dsb" 17838
worksheet "Temperatur-2.dsb" 17955
worksheet "Temperatur-3.dsb" 18015
worksheet "Temperatur-4.dsb" 18135
worksheet "Temperatur-5.dsb" 18269
worksheet "Temperatur-6.dsb" 18239
worksheet "Temperatur-1'.dsb" 17873
worksheet "Temperatur-2'.dsb" 17946
worksheet "Temperatur-3'.dsb" 18054
worksheet "Temperatur-4'.dsb" 18121
worksheet "Temperatur-5'.dsb" 18250
worksheet "Temperatur-6'.dsb" 18264

# The notes text: one line, Windows-1252 (\374 is u-umlaut), no line end, 26 bytes.
printf 'Platzhalter f\374r die Notiz.' > "$out/Notiz.txt"
[ "$(wc -c < "$out/Notiz.txt")" -eq 26 ] || { echo "make-standins: Notiz.txt is not 26 bytes" >&2; exit 1; }
