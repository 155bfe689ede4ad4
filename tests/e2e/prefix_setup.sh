#!/bin/sh
# Prepares the Wine prefix for the end-to-end tests: drive S mapped to a scratch folder, the default target folder.
# Contract: prefix_setup.sh BUILD_DIR DRIVE_S_FOLDER; uses $WINEPREFIX (default BUILD_DIR/wineprefix).
set -eu
build=$1 drive_s=$2
prefix=${WINEPREFIX:-$build/wineprefix}
[ -d "$prefix/dosdevices" ] || { echo "no Wine prefix at $prefix"; exit 1; }
mkdir -p "$drive_s"
ln -sfn "$drive_s" "$prefix/dosdevices/s:"
# The program-files folder of a 32-bit program (in a 64-bit prefix the one with "(x86)"); the picker test needs
# BrindaVel\ in it to exist already.
programs="$prefix/drive_c/Program Files"
[ -d "$programs (x86)" ] && programs="$programs (x86)"
mkdir -p "$programs/BrindaVel"
echo "drive S -> $drive_s; default target folder present"
