#!/usr/bin/env bash
# bastion_stamp from the command line, on the signed product: what it
# accepts, what it refuses, and that a refusal writes nothing; and a stub
# signed outside the build, prepared, stamped and run with -v under Wine
# (WINEPREFIX set, as the Makefile does).
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
expect_refusal "blob markers are missing" "$tool" unstamp nomarkers.exe out.exe
expect_refusal "not a DER PKCS #7 SignedData" "$tool" stamp "$product" c.xml out.exe
head -c 60000 /dev/zero | tr '\0' 'x' | sed 's/^/<R><AG_CONFIG>/;s/$/<\/AG_CONFIG><\/R>/' > big.xml
"$tool" sign "$pki/publisher1.pem" "$pki/publisher1.key" big.xml big.p7 || fail "sign big"
expect_refusal "too large" "$tool" stamp "$product" big.p7 out.exe
expect_refusal "usage" "$tool" stamp "$product"

# strict_entry FILE: the certificate table ends the file and is one entry
# of 8 bytes plus the DER, rounded up to 8 with zeros, its length field and
# the directory's size both saying so (what Windows checks with
# EnableCertPaddingCheck); and the PE checksum is right.
strict_entry() {
  python3 - "$1" <<'PY' || fail "strict layout: $1"
import struct, sys
f = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", f, 0x3C)[0]
opt = pe + 24
dirs = opt + (112 if struct.unpack_from("<H", f, opt)[0] == 0x20B else 96)
offset, size = struct.unpack_from("<II", f, dirs + 4 * 8)
length, revision, kind = struct.unpack_from("<IHH", f, offset)
der = f[offset + 8:]
assert der[0] == 0x30 and der[1] & 0x80, "no long-form DER SEQUENCE"
n = der[1] & 0x7F
der_size = 2 + n + int.from_bytes(der[2:2 + n], "big")
assert (revision, kind) == (0x200, 2), "not a PKCS #7 WIN_CERTIFICATE"
assert length == size == (8 + der_size + 7) // 8 * 8, "bytes after the DER beyond its padding"
assert offset + size == len(f), "the table does not end the file"
assert f[offset + 8 + der_size:] == bytes(size - 8 - der_size), "padding is not zeros"
checksum = opt + 64
words = f[:checksum] + b"\0\0\0\0" + f[checksum + 4:] + b"\0" * (len(f) % 2)
total = 0
for (w,) in struct.iter_unpack("<H", words):
    total += w
    total = (total & 0xFFFF) + (total >> 16)
assert struct.unpack_from("<I", f, checksum)[0] == ((total & 0xFFFF) + (total >> 16)) + len(f), "stale checksum"
PY
}

# A fresh signature gets the unconfigured region, as the build does.
"$tool" prepare nomarkers.exe fresh.exe || fail "prepare of a fresh signature"
strict_entry fresh.exe
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
strict_entry stub.exe
"$tool" unstamp stub.exe back.exe || fail "unstamp"
cmp -s back.exe "$product" || fail "unstamp does not restore the product"

# Signed outside the build: the leaf alone, and the leaf with its root; no
# timestamp either way. Then prepared and stamped in both layouts, shown, and
# run with -v under Wine, which checks the signature itself.
wine_verify() {
  local exe=$1 expected=$2
  # A first run with no handles brings Wine's desktop up, so it holds none
  # of the second run's files.
  timeout 120 /usr/lib/wine/wine64 "$exe" -v </dev/null >/dev/null 2>&1
  timeout 120 /usr/lib/wine/wine64 "$exe" -v </dev/null >v.out 2>v.err || fail "-v of $exe exited $?"
  [ "$(tr -d '\r' < v.err)" = "$expected" ] || fail "-v of $exe printed: $(cat v.err)"
}
for certs in codesign.pem codesign-chain.pem; do
  for layout in "" --appended; do
    name=outside-${certs%.pem}$layout
    osslsigncode sign -certs "$pki/$certs" -key "$pki/codesign.key" -h sha256 -n "Bastion Setup" \
      -in unsigned.exe -out "$name-signed.exe" >/dev/null || fail "osslsigncode sign with $certs"
    "$tool" prepare $layout "$name-signed.exe" "$name.exe" || fail "prepare $name"
    "$tool" stamp $layout "$name.exe" c.p7 "$name.exe" || fail "stamp $name"
    osslsigncode verify -CAfile "$pki/root.pem" -in "$name.exe" >/dev/null || fail "$name no longer verifies"
    [ -z "$layout" ] && strict_entry "$name.exe"
    shown=$("$tool" show "$name.exe" "$pki/publisher1.pem") || fail "show $name"
    [ "$shown" = "$out" ] || fail "show $name printed: $shown"
  done
done
wine_verify outside-codesign-chain.exe "$out"
wine_verify outside-codesign--appended.exe "$out"
ls | grep -q '\.exe\.' && fail "temporary files left behind"

[ $failures -eq 0 ] && echo "all passed"
exit $((failures > 0))
