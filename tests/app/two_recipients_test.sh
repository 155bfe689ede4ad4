#!/bin/sh
# A program built with two recipient variants shows the recipient message before any window and ends with 0.
# Contract: two_recipients_test.sh WINE_RUN DRIVER_EXE PROGRAM_EXE; exit 0 = box, texts, button and exit code right.
set -u
run=$1 driver=$2 program=$3
win() { printf 'Z:%s' "$1" | tr / '\\'; }
log=$("$run" "$driver" start "$(win "$program")" - box 180000 windows answer 1 exit 180000 | tr -d '\r')
echo "$log"
status=0
expect() {
    if printf '%s\n' "$log" | grep -qF -- "$1"; then echo "ok   $1"; else echo "FAIL missing: $1"; status=1; fi
}
# The driver prints every byte outside printable ASCII as \xNN: 0xE4 is the Windows-1252 a-umlaut.
# Title and text each keep their two trailing blanks (the driver separates fields with one more).
expect 'box title= Falsche Empf\xE4ngerdaten   text=Es sind mehr als ein Empf\xE4nger angegeben!   buttons=1:'
expect 'exit code=0'
# The box comes before any window of the program's own.
if printf '%s\n' "$log" | grep -q 'class=WindowClass_'; then echo "FAIL a main window existed"; status=1; fi
exit $status
