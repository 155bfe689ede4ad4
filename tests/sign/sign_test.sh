#!/bin/sh
# Signs a copy of the installer the way the build does, with a throw-away certificate made here, and checks that
# the signature verifies, that the image (and the payload at its marks) is untouched, and that it still runs.
# Contract: sign_test.sh BUILD_DIR SOURCE_DIR DRIVER_EXE CMAKE OBJDUMP PAYLOAD_FILE...(block order); works in
#           BUILD_DIR/sign-test. Needs openssl, osslsigncode and a running Wine session.
set -eu
build=$1 source=$2 driver=$3 cmake=$4 objdump=$5
shift 5
work="$build/sign-test"
rm -rf "$work"
mkdir -p "$work/run"
cd "$work"
printf '%s\n' "$@" > payload.list
fail() { echo "FAIL: $*"; exit 1; }
win() { printf 'Z:%s' "$1" | tr / '\\'; }
# The certificate table's file offset and size (data directory entry 4), in decimal.
security() {
    set -- $("$objdump" -p "$1" | sed -n 's/^Entry 4 \([0-9a-f]*\) \([0-9a-f]*\) .*/\1 \2/p')
    echo $((0x$1)) $((0x$2))
}

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj '/CN=BrindaVel test signer' \
    -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature 2>/dev/null
echo "throw-away $$" > password
openssl pkcs12 -export -in cert.pem -inkey key.pem -passout file:password -out signer.p12

# A build configured to sign has signed its installer already: take the image as linked.
if [ "$(security "$build/BrindaVelSetup.exe")" = "0 0" ]; then
    cp "$build/BrindaVelSetup.exe" unsigned.exe
else
    osslsigncode remove-signature -in "$build/BrindaVelSetup.exe" -out unsigned.exe >/dev/null
fi
now=$(date +%s)
for out in signed.exe again.exe; do
    "$cmake" -DIN=unsigned.exe -DOUT=$out -DPKCS12=signer.p12 -DPASSWORD_FILE=password -DTIME="$now" \
        -P "$source/cmake/sign.cmake"
done
cmp -s signed.exe again.exe || fail "two signings of the same image at the same time differ"
size=$(stat -c %s unsigned.exe)
echo "unsigned $size bytes, signed $(stat -c %s signed.exe) bytes"

osslsigncode verify -CAfile cert.pem -in signed.exe > verify.log 2>&1 || { cat verify.log; fail "signature rejected"; }
grep -q '^Message digest algorithm *: SHA256' verify.log || fail "digest is not SHA-256"
grep -q 'Text description: BrindaVel$' verify.log || fail "description is not BrindaVel"
if osslsigncode verify -in signed.exe >/dev/null 2>&1; then fail "accepted without trusting the test certificate"; fi

# The signature sits right behind the image; inside it only the checksum and the certificate entry changed,
# and the image part alone still passes the image check.
set -- $(security signed.exe)
[ "$1" -eq "$size" ] && [ $(($1 + $2)) -eq "$(stat -c %s signed.exe)" ] ||
    fail "certificate table at $1 (+$2) is not appended behind the $size-byte image"
pe=$(od -An -tu4 -j60 -N4 unsigned.exe | tr -d ' ')
cmp -l -n "$size" unsigned.exe signed.exe | awk -v pe="$pe" '
    !(($1 > pe + 88 && $1 <= pe + 92) || ($1 > pe + 152 && $1 <= pe + 160)) { print "changed byte at", $1 - 1; bad = 1 }
    END { exit bad }' || fail "signing changed the image beyond the checksum and the certificate entry"
head -c "$size" signed.exe > image.exe
"$cmake" -DFILE=image.exe -P "$source/tools/pe-check.cmake"

# Each payload block, found where the installer finds it (its marks' addresses, here from the link map, in .rdata),
# holds its payload file byte for byte.
set -- $("$objdump" -h signed.exe | awk '$2 == ".rdata" { print $4, $6 }')
rdata_vma=$((0x$1)) rdata_offset=$((0x$2))
mark() {
    address=$(sed -n "s/^ *0x\([0-9a-f]*\) *payload_mark_$1\$/\1/p" "$build/BrindaVelSetup.map")
    [ -n "$address" ] || { echo "FAIL: payload_mark_$1 missing from the link map" >&2; exit 1; }
    echo $((0x$address - rdata_vma + rdata_offset))
}
block=0
while read -r file; do
    start=$(mark $block)
    end=$(mark $((block + 1)))
    tail -c +$((start + 1)) signed.exe | head -c $((end - start)) | cmp -s - "$file" ||
        fail "block $((block + 1)) at $start..$end is not $file"
    block=$((block + 1))
done < payload.list
[ "$block" -eq 14 ] || fail "$block payload files given, 14 expected"

# The signature covers the payload: one changed byte in the first block is rejected.
cp signed.exe tampered.exe
at=$(($(mark 0) + 1000))
byte=$(od -An -tu1 -j$at -N1 signed.exe | tr -d ' ')
printf "\\$(printf %o $((byte ^ 1)))" | dd of=tampered.exe bs=1 seek=$at conv=notrunc 2>/dev/null
if osslsigncode verify -CAfile cert.pem -in tampered.exe >/dev/null 2>&1; then fail "a changed payload byte verifies"; fi

# The signed installer opens its window, and its close box ends it silently with exit code 0.
"$build/wine-run" "$driver" start "$(win "$work/signed.exe")" "$(win "$work/run")" window 180000 ready 6 180000 \
    close exit 180000 | tr -d '\r' | tee driver.log
grep -q '^exit code=0 ' driver.log || fail "the signed installer did not end with exit code 0"
echo "signed installer verified, payload intact at its marks, runs and ends with exit code 0"
