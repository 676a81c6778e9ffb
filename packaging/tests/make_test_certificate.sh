#!/usr/bin/env bash
# Makes a throwaway code-signing certificate for the zip's test: a CA that
# lives only in FOLDER (ca.pem) and a certificate it issued for code signing
# (signer.pem, key signer.key). Never for a release.
#
#   make_test_certificate.sh FOLDER
set -euo pipefail
folder=${1:?usage: $0 FOLDER}
rm -rf "$folder"
mkdir -p "$folder"
cd "$folder"
subject="/O=Collector tools test/CN"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "$subject=Throwaway test CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
  -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "$subject=Throwaway test signer" \
  -keyout signer.key -out signer.csr 2>/dev/null
printf '%s\n' basicConstraints=CA:FALSE keyUsage=critical,digitalSignature \
  extendedKeyUsage=codeSigning >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
  -extfile signer.ext -out signer.pem 2>/dev/null
echo "test certificate in $folder: signer.pem, signer.key, issued by ca.pem"
