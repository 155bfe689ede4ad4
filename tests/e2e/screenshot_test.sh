#!/bin/sh
# Saves pictures of the installer for a person to look at: the main window, and the screen with the Info menu open.
# Contract: screenshot_test.sh BUILD_DIR DRIVER_EXE INSTALLER_EXE; writes BUILD_DIR/screenshots/*.bmp (and .png).
set -eu
build=$1 driver=$2 installer=$3
run="$build/wine-run"
win() { printf 'Z:%s' "$1" | tr / '\\'; }
shots="$build/screenshots"
work="$build/e2e-scratch/Screenshot"
rm -rf "$work"
mkdir -p "$shots" "$work"
rm -f "$shots"/main-window.* "$shots"/info-menu.*
"$run" "$driver" start "$(win "$installer")" "$(win "$work")" window 180000 ready 6 180000 \
    screenshot "$(win "$shots/main-window.bmp")" menu i wait-class '#32768' 180000 screen "$(win "$shots/info-menu.bmp")" \
    key 13 click 6 exit 180000 | tr -d '\r' | tee "$work/driver.log"
grep -q '^exit code=0 ' "$work/driver.log"
for picture in main-window info-menu; do
    [ -s "$shots/$picture.bmp" ] || { echo "FAIL: no $picture.bmp"; exit 1; }
    if command -v convert >/dev/null && convert "$shots/$picture.bmp" "$shots/$picture.png" 2>/dev/null; then
        echo "saved $shots/$picture.png"
    else
        echo "saved $shots/$picture.bmp"
    fi
done
