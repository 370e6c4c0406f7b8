#!/usr/bin/env bash
# Configure runs that pick the packages' publisher: with BASTION_CODESIGN off
# and no certificate given, configure stops and says what to give; a CA first
# in BASTION_PACKAGE_SIGNER is refused; a leaf there is compiled in.
# usage: package_publisher_configure_test.sh SOURCE_DIR TREE PKI_DIR
# TREE lies beside the test PKI's folder, so the PKI is the build's own.
set -uo pipefail
source=$1 tree=$2 pki=$3
rm -rf "$tree" "$tree-leaf"
mkdir -p "$tree-leaf"
leaf=$tree-leaf/leaf.pem
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tree-leaf/leaf.key" -out "$leaf" -days 30 -sha256 \
  -subj "/CN=Configure Test Packages" -addext "basicConstraints=critical,CA:FALSE" 2>/dev/null
status=0
fail() { echo "FAIL: $*"; status=1; }

configure() {
  cmake -S "$source" -B "$tree" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
    -DBASTION_CODESIGN=OFF "$@" >"$tree.log" 2>&1
}
body() { grep -v -e '-----' "$1" | tr -d '\n'; }

if configure; then
  fail "configure accepted BASTION_CODESIGN=OFF without a certificate"
else
  grep -q "give BASTION_PACKAGE_SIGNER" "$tree.log" || { cat "$tree.log"; fail "no word of what to give"; }
fi

if configure -DBASTION_PACKAGE_SIGNER="$pki/root.pem"; then
  fail "configure accepted a CA as the packages' signer"
else
  grep -q "is a CA" "$tree.log" || { cat "$tree.log"; fail "the CA was refused for another reason"; }
fi

if configure -DBASTION_PACKAGE_SIGNER="$leaf"; then
  site=$tree/generated-pins/site/verification/pinned_certificates.inc
  test=$tree/generated-pins/test/verification/pinned_certificates.inc
  grep -A1 kPackagePublisher "$site" | grep -qF "$(body "$leaf")" \
    || fail "the site set does not carry BASTION_PACKAGE_SIGNER"
  grep -A1 kPackagePublisher "$test" | grep -qF "$(body "$pki/codesign.pem")" \
    || fail "the test set does not carry the test PKI's code-signing certificate"
else
  cat "$tree.log"
  fail "configure refused BASTION_PACKAGE_SIGNER"
fi

rm -rf "$tree" "$tree.log" "$tree-leaf"
exit $status
