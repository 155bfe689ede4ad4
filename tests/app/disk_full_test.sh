#!/bin/sh
# Runs the disk-full case of app_install against names that lead to the host's full device (every write fails).
# Contract: disk_full_test.sh WINE_RUN TEST_PROGRAM; exits with the test program's code.
set -u
folder=$(mktemp -d /tmp/brv_full.XXXXXX) || exit 2
ln -s /dev/full "$folder/Brindavel.exe"
ln -s /dev/full "$folder/Notiz.txt"
BRV_FULL_DIR="$folder" "$1" "$2" --gtest_filter='DiskFull.*'
result=$?
rm -rf "$folder"
exit $result
