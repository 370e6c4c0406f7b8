#!/usr/bin/env bash
# Makes the test PKI in DIR once: a root CA, a code-signing leaf under it, and
# two configuration publisher certificates. Keys stay in DIR, outside git.
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
[ -f done ] && exit 0

openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 3650 -sha256 \
  -subj "/CN=Bastion Test Root CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout codesign.key -out codesign.csr -subj "/CN=Bastion Test Code Signing" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > codesign.ext
openssl x509 -req -in codesign.csr -CA root.pem -CAkey root.key -CAcreateserial -out codesign.pem \
  -days 3650 -sha256 -extfile codesign.ext 2>/dev/null
cat codesign.pem root.pem > codesign-chain.pem

for n in 1 2; do
  openssl req -x509 -newkey rsa:2048 -nodes -keyout publisher$n.key -out publisher$n.pem -days 3650 \
    -sha256 -subj "/CN=Bastion Test Publisher $n" -addext "subjectAltName=DNS:localhost" 2>/dev/null
done
touch done
