#!/bin/sh
# Runs app_test with BRV_FULL_DIR: a small tmpfs of its own, with a Text folder, filled up to the last byte.
# Contract: app_test.sh WINE_RUN TEST_PROGRAM; exits with the test program's code (2 when no tmpfs can be mounted).
set -u
full=$(mktemp -d /tmp/brv_full.XXXXXX) || exit 2
mount -t tmpfs -o size=256k tmpfs "$full" || { rmdir "$full"; echo "app_test.sh: mounting a tmpfs needs root"; exit 2; }
trap 'umount -l "$full"; rmdir "$full"' EXIT
mkdir "$full/Text"
dd if=/dev/zero of="$full/filler" bs=4096 2>/dev/null
BRV_FULL_DIR="$full" "$1" "$2"
