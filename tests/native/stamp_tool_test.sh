#!/usr/bin/env bash
# bastion_stamp from the command line, on the signed product: what it
# accepts, what it refuses, and that a refusal writes nothing.
# usage: stamp_tool_test.sh TOOL PRODUCT_EXE PKI_DIR
set -uo pipefail
tool=$(realpath "$1") product=$(realpath "$2") pki=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect_refusal MESSAGE COMMAND...: non-zero exit, MESSAGE on stderr, and
# out.exe still holding its old bytes.
expect_refusal() {
  local message=$1; shift
  printf 'old' > out.exe
  if "$@" 2> err.txt; then fail "accepted: $*"; fi
  grep -qF -- "$message" err.txt || fail "no '$message' from: $* (got: $(cat err.txt))"
  [ "$(cat out.exe)" = old ] || fail "out.exe changed by: $*"
  ls | grep -q '\.exe\.' && fail "temporary file left by: $*"
}

printf '%s' '<R><AG_CONFIG>a</AG_CONFIG><URL>https://localhost/d/BSX.msi</URL></R>' > c.xml
"$tool" sign "$pki/publisher1.pem" "$pki/publisher1.key" c.xml c.p7 || fail "sign"
openssl cms -verify -binary -inform DER -in c.p7 -noverify -out /dev/null 2>/dev/null || fail "sign output does not verify"
expect_refusal "does not belong" "$tool" sign "$pki/publisher1.pem" "$pki/publisher2.key" c.xml out.exe
openssl ecparam -name prime256v1 -genkey -noout -out ec.key 2>/dev/null
expect_refusal "not an RSA key" "$tool" sign "$pki/publisher1.pem" ec.key c.xml out.exe

expect_refusal "not a PE file" "$tool" stamp c.xml c.p7 out.exe
osslsigncode remove-signature -in "$product" -out unsigned.exe >/dev/null
expect_refusal "not code-signed" "$tool" stamp unsigned.exe c.p7 out.exe
osslsigncode sign -certs "$pki/codesign-chain.pem" -key "$pki/codesign.key" -h sha256 -in unsigned.exe \
  -out nomarkers.exe >/dev/null
expect_refusal "blob markers are missing" "$tool" stamp nomarkers.exe c.p7 out.exe
expect_refusal "not a DER PKCS #7 SignedData" "$tool" stamp "$product" c.xml out.exe
head -c 60000 /dev/zero | tr '\0' 'x' | sed 's/^/<R><AG_CONFIG>/;s/$/<\/AG_CONFIG><\/R>/' > big.xml
"$tool" sign "$pki/publisher1.pem" "$pki/publisher1.key" big.xml big.p7 || fail "sign big"
expect_refusal "too large" "$tool" stamp "$product" big.p7 out.exe
expect_refusal "usage" "$tool" stamp "$product"

# A fresh signature gets the unconfigured blob, as the build does.
"$tool" unstamp nomarkers.exe fresh.exe || fail "unstamp of a fresh signature"
osslsigncode verify -CAfile "$pki/root.pem" -in fresh.exe >/dev/null || fail "fresh unstamp no longer verifies"

expect_refusal "Failed to authenticate BastionSetup!" "$tool" show fresh.exe "$pki/publisher1.pem"
cp "$product" stub.exe
"$tool" stamp stub.exe c.p7 stub.exe || fail "stamp in place"
osslsigncode verify -CAfile "$pki/root.pem" -in stub.exe >/dev/null || fail "stamped stub no longer verifies"
out=$("$tool" show stub.exe "$pki/publisher1.pem" "$pki/publisher2.pem") || fail "show"
[ "$out" = $'Config Dat:\n<?xml version=\'1.0\' encoding=\'UTF-8\'?><AG_CONFIG>a</AG_CONFIG>\nURL:\nhttps://localhost/d/BSX.msi' ] ||
  fail "show printed: $out"
expect_refusal "Failed to authenticate BastionSetup!" "$tool" show stub.exe "$pki/publisher2.pem"
expect_refusal "Failed to authenticate BastionSetup!" "$tool" show "$product" "$pki/publisher1.pem"
# Signed by a pinned key, but not plain data: the stub refuses it, so show does.
openssl cms -sign -nodetach -binary -outform DER -md sha256 -econtent_type 1.3.6.1.4.1.311.2.1.4 -in c.xml \
  -signer "$pki/publisher1.pem" -inkey "$pki/publisher1.key" -out typed.p7 || fail "sign typed"
"$tool" stamp "$product" typed.p7 typed.exe || fail "stamp typed"
expect_refusal "Failed to authenticate BastionSetup!" "$tool" show typed.exe "$pki/publisher1.pem"
"$tool" unstamp stub.exe back.exe || fail "unstamp"
cmp -s back.exe "$product" || fail "unstamp does not restore the product"
ls | grep -q '\.exe\.' && fail "temporary files left behind"

[ $failures -eq 0 ] && echo "all passed"
exit $((failures > 0))
