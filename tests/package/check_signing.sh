#!/usr/bin/env bash
# tools/package signing as a release does it, with throwaway keys made here and a
# time-stamping server on 127.0.0.1 that this test starts and stops:
#  - the key in a PKCS#12 file, its passphrase in a file;
#  - the key on a SoftHSM2 token, its PIN in KEYPREP_SIGN_PASS.
# Each time keyprep.exe (in the zip and in the MSI), keyprep_lang.dll (likewise) and the
# MSI verify against the certificate, with a timestamp that verifies against the server's.
set -euo pipefail
root=$1 build=$2
work=$(mktemp -d)
tsa_pid=""
trap '[ -z "$tsa_pid" ] || kill "$tsa_pid" 2>/dev/null; rm -rf "$work"' EXIT
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
softhsm2-util --init-token --free --label sign --pin 1234 --so-pin 5678 >/dev/null
softhsm2-util --import signer.key --token sign --label key1 --id 01 --pin 1234 >/dev/null

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check_release() {   # HOW DIST: every signed file verifies, with its timestamp
  local how=$1 dist=$2 version
  version=$(cat "$build/version/version.txt")
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

KEYPREP_SIGN_PASS=1234 KEYPREP_BUILD_DIR=$build "$root/tools/package" \
  --sign-pkcs11 /usr/lib/softhsm/libsofthsm2.so "pkcs11:token=sign;object=key1;type=private" signer.crt \
  --timestamp "$timestamp" token >token.said || fail "tools/package with the SoftHSM2 token failed"
check_release "PKCS#11" token

if grep -q 'signed' pkcs12.said token.said; then fail "a signed package says that it is not signed"; fi

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
