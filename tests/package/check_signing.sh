#!/usr/bin/env bash
# tools/package signing as a release does it, with throwaway keys made here and a
# time-stamping server on 127.0.0.1 that this test starts and stops:
#  - the key in a PKCS#12 file, its passphrase in a file;
#  - the key on a SoftHSM2 token, its PIN in KEYPREP_SIGN_PASS, which no file under the
#    temporary folder ever holds, nor the arguments or environment of any program started.
# Each time keyprep.exe (in the zip and in the MSI), keyprep_lang.dll (likewise) and the
# MSI verify against the certificate, with a timestamp that verifies against the server's.
# A signing that fails leaves the release folder as it was. tools/verify-release finds the
# signed release to be this source's build, and a copy with one byte changed not.
set -euo pipefail
root=$1 build=$2
work=$(mktemp -d)
tsa_pid="" watcher=""
trap 'kill $tsa_pid $watcher 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"

certificate() {   # NAME EXTENDED-KEY-USAGE: a self-signed certificate and its key
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=keyprep test $1" \
    -addext "extendedKeyUsage=$2" -keyout "$1.key" -out "$1.crt" 2>/dev/null
}
certificate signer codeSigning
certificate tsa critical,timeStamping
echo 01 >tsa.serial
cat >tsa.cnf <<EOF
[ tsa ]
default_tsa = this_tsa
[ this_tsa ]
serial = $work/tsa.serial
signer_cert = $work/tsa.crt
signer_key = $work/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.55555.1
digests = sha256, sha384, sha512, sha1
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
python3 "$root/tests/package/tsa.py" tsa.cnf >tsa.port 2>tsa.log &
tsa_pid=$!
for _ in $(seq 50); do [ -s tsa.port ] && break; sleep 0.1; done
timestamp=http://127.0.0.1:$(cat tsa.port)

echo "pkcs12 passphrase" >p12.pass
openssl pkcs12 -export -inkey signer.key -in signer.crt -passout file:p12.pass -out signer.p12

export SOFTHSM2_CONF=$work/softhsm2.conf
mkdir tokens
printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$work/tokens" >"$SOFTHSM2_CONF"
pin=token-pin-5f2e9c
softhsm2-util --init-token --free --label sign --pin "$pin" --so-pin 5678 >/dev/null
softhsm2-util --import signer.key --token sign --label key1 --id 01 --pin "$pin" >/dev/null

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
version=$(cat "$build/version/version.txt")
check_release() {   # HOW DIST: every signed file verifies, with its timestamp
  local how=$1 dist=$2
  mkdir "$dist.zip" "$dist.msi"
  unzip -q "$dist/keyprep-$version-win32.zip" -d "$dist.zip"
  msiextract -C "$dist.msi" "$dist/keyprep-$version.msi" >/dev/null
  local file verdict binaries
  mapfile -d '' binaries < <(find "$dist.zip" "$dist.msi" \( -name keyprep.exe -o -name keyprep_lang.dll \) -print0)
  [ ${#binaries[@]} -eq 4 ] || fail "$how: not two copies each of keyprep.exe and keyprep_lang.dll: ${binaries[*]}"
  for file in "${binaries[@]}" "$dist/keyprep-$version.msi"; do
    verdict=$(osslsigncode verify -CAfile signer.crt -TSA-CAfile tsa.crt -in "$file" 2>&1) || true
    for line in 'Signature verification: ok' 'Timestamp Server Signature verification: ok'; do
      grep -q "^$line" <<<"$verdict" || fail "$how: ${file#"$work"/} lacks \"$line\": $verdict"
    done
  done
  checked=$(cd "$dist" && sha256sum -c SHA256SUMS 2>&1) || fail "$how: SHA256SUMS does not match: $checked"
}

KEYPREP_BUILD_DIR=$build "$root/tools/package" --sign-pkcs12 signer.p12 --pass-file p12.pass \
  --timestamp "$timestamp" pkcs12 >pkcs12.said || fail "tools/package with a PKCS#12 file failed"
check_release "PKCS#12" pkcs12

echo "wrong passphrase" >wrong.pass
before=$(cd pkcs12 && sha256sum ./*)
KEYPREP_BUILD_DIR=$build "$root/tools/package" --sign-pkcs12 signer.p12 --pass-file wrong.pass pkcs12 \
  >/dev/null 2>&1 && fail "signing with a wrong passphrase succeeded"
[ "$(cd pkcs12 && sha256sum ./*)" = "$before" ] || fail "a signing that failed changed the release folder"

mkdir tmp
(while :; do grep -rlF -- "$pin" tmp >>leaks 2>/dev/null || true; sleep 0.02; done) &
watcher=$!
# Every program started, with its arguments and environment; those of the first process are
# tools/package itself and the search for its interpreter.
TMPDIR=$work/tmp KEYPREP_SIGN_PASS=$pin KEYPREP_BUILD_DIR=$build strace -f -qq -e trace=execve -v -s 4096 -o execs \
  "$root/tools/package" \
  --sign-pkcs11 /usr/lib/softhsm/libsofthsm2.so "pkcs11:token=sign;object=key1;type=private" signer.crt \
  --timestamp "$timestamp" token >token.said || fail "tools/package with the SoftHSM2 token failed"
kill "$watcher"
grep -rlF -- "$pin" tmp >>leaks || true
[ ! -s leaks ] || fail "files under the temporary folder held the PIN: $(sort -u leaks)"
[ "$(grep -c 'execve(' execs)" -gt 100 ] || fail "strace saw too few programs start: $(head -c 300 execs)"
heirs=$(awk -v top="$(head -1 execs | cut -d' ' -f1)" '$1 != top' execs | { grep -F -- "$pin" || true; } |
        sed 's/^[0-9]* *execve("\([^"]*\)".*/\1/' | sort -u)
[ -z "$heirs" ] || fail "programs started with the PIN: $heirs"
check_release "PKCS#11" token

KEYPREP_BUILD_DIR=$build "$root/tools/verify-release" --CAfile signer.crt --TSA-CAfile tsa.crt pkcs12 >verified 2>&1 ||
  fail "the signed release is not this source's build: $(cat verified)"
[ "$(grep -c 'signature ok, timestamp ok$' verified)" -eq 5 ] || fail "not five signatures verified: $(cat verified)"
# One byte of the time-stamping server's signature on the MSI (the signature's last 256-byte
# value): the signature verifies, its timestamp not.
cp -r pkcs12 stamp
osslsigncode extract-signature -in "stamp/keyprep-$version.msi" -out signature.der >/dev/null
at=$(openssl asn1parse -inform DER -in signature.der |
     sed -n 's/^ *\([0-9]*\):d=[0-9]* *hl=\([0-9]*\) *l= *256 prim: OCTET STRING.*/\1+\2/p' | tail -1)
# Found in binary data as a whole: a line-based search misses them when they hold a 0x0a.
bytes=$(od -An -tx1 -j $((at)) -N16 signature.der | tr -d ' \n')
at=$(( $(python3 -c 'import sys; print(open(sys.argv[1], "rb").read().index(bytes.fromhex(sys.argv[2])))' "stamp/keyprep-$version.msi" "$bytes") + 8 ))
printf "\\x$(printf %02x $(($(od -An -tu1 -j "$at" -N1 "stamp/keyprep-$version.msi") ^ 255)))" |
  dd of="stamp/keyprep-$version.msi" bs=1 seek="$at" conv=notrunc 2>/dev/null
KEYPREP_BUILD_DIR=$build "$root/tools/verify-release" --CAfile signer.crt --TSA-CAfile tsa.crt stamp >verified 2>&1 &&
  fail "a release with a broken timestamp passed: $(cat verified)"
grep -q "^keyprep-$version.msi  *signature ok, timestamp failed" verified ||
  fail "the broken timestamp is not named: $(cat verified)"
# One byte of keyprep.exe inside the signed MSI, outside any signature.
cp -r pkcs12 changed
at=$(LC_ALL=C grep -obUaF -m1 'This program cannot be run' "changed/keyprep-$version.msi" | cut -d: -f1)
printf X | dd of="changed/keyprep-$version.msi" bs=1 seek="$at" conv=notrunc 2>/dev/null
KEYPREP_BUILD_DIR=$build "$root/tools/verify-release" changed >verified 2>&1 &&
  fail "a release with a changed byte was taken for this source's build"
grep -q "^keyprep-$version.msi  *differs: stream Icon.keyprep.exe" verified ||
  fail "the changed MSI and its stream are not named: $(cat verified)"
# One byte of keyprep.exe inside the zip: the entry is named, and its signature fails (the
# damage runs on through the deflated rest, so the signature may not even be found).
cp -r pkcs12 zipped
at=$(python3 -c 'import sys, zipfile; e = zipfile.ZipFile(sys.argv[1]).getinfo(sys.argv[2]); print(e.header_offset + 30 + len(e.filename) + e.compress_size // 2)' \
       "zipped/keyprep-$version-win32.zip" "keyprep-$version/keyprep.exe")
printf X | dd of="zipped/keyprep-$version-win32.zip" bs=1 seek="$at" conv=notrunc 2>/dev/null
KEYPREP_BUILD_DIR=$build "$root/tools/verify-release" --CAfile signer.crt --TSA-CAfile tsa.crt zipped >verified 2>&1 &&
  fail "a zip with a damaged entry passed"
grep -q "^keyprep-$version-win32.zip  *differs: damaged entry keyprep-$version/keyprep.exe" verified &&
  grep -qE "^win32 zip: keyprep-$version/keyprep.exe  *(signature failed|not signed)" verified ||
  fail "damaged entry not named: $(cat verified)"
# Signed without a timestamp: refused, unless that is said to be expected.
KEYPREP_BUILD_DIR=$build "$root/tools/package" --sign-pkcs12 signer.p12 --pass-file p12.pass bare >/dev/null || fail "no bare signing"
KEYPREP_BUILD_DIR=$build "$root/tools/verify-release" --CAfile signer.crt bare >verified 2>&1 &&
  fail "a release signed without timestamps passed: $(cat verified)"
KEYPREP_BUILD_DIR=$build "$root/tools/verify-release" --CAfile signer.crt --no-timestamp bare >verified 2>&1 ||
  fail "--no-timestamp refused a release signed without timestamps: $(cat verified)"

if grep -q 'signed' pkcs12.said token.said; then fail "a signed package says that it is not signed"; fi

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
