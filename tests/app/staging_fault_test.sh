#!/bin/sh
# A processor fault while staging has moved the user's Notiz.txt aside: the report comes, the file is back unchanged.
# Contract: staging_fault_test.sh BUILD_DIR DRIVER_EXE VICTIM_EXE; exit 0 = report shown, file restored, exit code 0.
set -u
build=$1 driver=$2 victim=$3
run="$build/wine-run"
win() { printf 'Z:%s' "$1" | tr / '\\'; }
scratch="$build/app-scratch/StagingFault"
rm -rf "$scratch"
mkdir -p "$scratch"
printf 'meine eigenen Notizen' > "$scratch/Notiz.txt"
touch -d '2020-01-01 12:00' "$scratch/Notiz.txt"
before=$(stat -c '%s %Y' "$scratch/Notiz.txt")
log=$("$run" "$driver" start "$(win "$victim")" "$(win "$scratch")" box 180000 answer 1 exit 180000 | tr -d '\r')
echo "$log"
status=0
printf '%s\n' "$log" | grep -q '^box title= Programmfehler in staging_fault_victim.exe text=Fehlermeldung:  ' ||
    { echo "FAIL no error report"; status=1; }
printf '%s\n' "$log" | grep -q '^exit code=0' || { echo "FAIL exit code not 0"; status=1; }
[ "$(cat "$scratch/Notiz.txt")" = 'meine eigenen Notizen' ] || { echo "FAIL Notiz.txt not the user's"; status=1; }
[ "$(stat -c '%s %Y' "$scratch/Notiz.txt")" = "$before" ] || { echo "FAIL Notiz.txt changed"; status=1; }
[ "$(ls -A "$scratch" | wc -l)" = 1 ] || { ls -la "$scratch"; echo "FAIL backup or staged file left behind"; status=1; }
[ $status = 0 ] && echo "ok   report shown, Notiz.txt back unchanged, nothing left behind"
exit $status
