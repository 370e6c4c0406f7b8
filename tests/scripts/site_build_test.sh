#!/usr/bin/env bash
# A site's own build, as CI checks it: a freshly made pair of pinned
# certificates and a second code-signing certificate (its own root, another
# subject), the win64 tree built with them, and then the stamping tool's test
# (on the twin with the test PKI), the shipped product's pins and signature,
# and the end-to-end installation tests that pins and signatures decide, against
# the site's own product, its configurations signed with the new pins' keys and
# its packages with the second code-signing certificate. (The download, the hold
# on the package and the log do not depend on the site's keys; make test runs
# them.)
# usage: site_build_test.sh SOURCE_DIR SITE_DIR   (with WINEPREFIX set, as
# the Makefile does)
set -euo pipefail
source=$(realpath "$1") site=$(realpath -m "$2")
keys=$site/keys build=$site/win64
rm -rf "$keys"
mkdir -p "$keys"
cd "$keys"
for n in 1 2; do
  openssl req -x509 -newkey rsa:3072 -nodes -keyout publisher$n.key -out publisher$n.pem -days 30 -sha256 \
    -subj "/CN=Site Test Publisher $n" 2>/dev/null
done
openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 30 -sha256 \
  -subj "/CN=Site Test Root CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:3072 -nodes -keyout codesign.key -out codesign.csr -subj "/CN=Site Test Code Signing" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > codesign.ext
openssl x509 -req -in codesign.csr -CA root.pem -CAkey root.key -CAcreateserial -out codesign.pem -days 30 \
  -sha256 -extfile codesign.ext 2>/dev/null
cat codesign.pem root.pem > codesign-chain.pem

cmake -S "$source" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
  "-DBASTION_PINNED_CERTS=$keys/publisher1.pem;$keys/publisher2.pem" \
  -DBASTION_CODESIGN_CERT="$keys/codesign-chain.pem" -DBASTION_CODESIGN_KEY="$keys/codesign.key" >/dev/null
cmake --build "$build" -j"$(nproc)" --target bastion_e2e_inputs bastion_trust_fixtures

# The shipped product carries the site's signature, not the test PKI's.
osslsigncode verify -CAfile "$keys/root.pem" -in "$build/BastionSetup.exe" >/dev/null
if osslsigncode verify -CAfile "$site/pki/root.pem" -in "$build/BastionSetup.exe" >/dev/null 2>&1; then
  echo "the site's product verifies under the test PKI's root" >&2
  exit 1
fi
(cd "$build" && env -u http_proxy -u https_proxy ctest --output-on-failure -R StampToolCommandLine)
cd "$source/tests/e2e"
env -u http_proxy -u https_proxy -u DISPLAY BASTION_SOURCE_DIR="$source" BASTION_BUILD_DIR="$build" \
  BASTION_E2E_DIR="$site/e2e" BASTION_E2E_PRODUCT="$build/BastionSetup.exe" BASTION_E2E_PUBLISHERS="$keys" \
  BASTION_E2E_CODESIGN="$keys" timeout 1500 python3 run_module.py \
  test_installation.{InstallationMode,CreatePackageMode,SwappedSigner,VerifyMode,FailureMatrix} || status=$?
# 77: tests were skipped, which run_module.py has listed with their reasons.
[ "${status:-0}" -eq 0 ] || [ "$status" -eq 77 ]
