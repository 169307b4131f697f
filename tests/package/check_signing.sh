#!/usr/bin/env bash
# tools/package --sign with a throwaway code-signing certificate made here: keyprep.exe is
# signed before it is packaged, so the copies in the zip and in the MSI carry the signature,
# and the MSI is signed after it is built. Each verifies against the certificate.
set -euo pipefail
root=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=keyprep test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
KEYPREP_BUILD_DIR=$build "$root/tools/package" --sign "$work/cert.pem" "$work/key.pem" "$work/dist" >"$work/said"
dist=$work/dist
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

unzip -q "$dist/keyprep-1.14-win32.zip" keyprep-1.14/keyprep.exe -d "$work/zip"
mkdir "$work/msi"
msiextract -C "$work/msi" "$dist/keyprep-1.14.msi" >/dev/null
signed=("$work/zip/keyprep-1.14/keyprep.exe" "$(find "$work/msi" -name keyprep.exe)" "$dist/keyprep-1.14.msi")
for file in "${signed[@]}"; do
  verdict=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$file" 2>&1) || true
  grep -q 'Signature verification: ok' <<<"$verdict" || fail "${file#"$work"/} does not verify: $verdict"
done

grep -q 'signed' "$work/said" && fail "a signed package says that it is not signed"
checked=$(cd "$dist" && sha256sum -c SHA256SUMS 2>&1) || fail "SHA256SUMS does not match the signed files: $checked"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
