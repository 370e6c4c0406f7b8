#!/usr/bin/env bash
# Inputs of the trust tests, made on the host: signed configurations of
# every kind, and copies of the product stamped by bastion_stamp, with what
# `bastion_stamp show` prints for them.
# usage: make_trust_fixtures.sh TOOL PKI_DIR PRODUCT_EXE OUT_DIR PINNED1 PINNED2
set -euo pipefail
tool=$1 pki=$2 product=$3 out=$4 pinned1=$5 pinned2=$6
rm -rf "$out"
mkdir -p "$out"
cd "$out"
cp "$pinned1" pinned1.pem
cp "$pinned2" pinned2.pem
cp "$pki/publisher1.pem" publisher1.pem
cp "$pki/publisher2.pem" publisher2.pem
cp "$pki/codesign.pem" unpinned.pem

# Non-ASCII bytes in AG_CONFIG must reach config.dat unchanged.
printf '%s' '<?xml version="1.0" encoding="UTF-8"?><BASTION><AG_CONFIG><Site name="Zürich Øst ☃"/><Key>k1</Key></AG_CONFIG><URL>https://localhost/dir/BSX.msi</URL><server fqdn="mgmt.example.test" port="443"></server><VPN_CONFIG>vpn</VPN_CONFIG></BASTION>' > good.xml
printf '%s' '<BASTION><AG_CONFIG>x</AG_CONFIG><URL>https://localhost/BSX.msi</URL></BASTION>' > oneslash.xml

"$tool" sign "$pki/publisher1.pem" "$pki/publisher1.key" good.xml pub1.p7
"$tool" sign "$pki/publisher2.pem" "$pki/publisher2.key" good.xml pub2.p7
"$tool" sign "$pki/codesign.pem" "$pki/codesign.key" good.xml unpinned.p7
"$tool" sign "$pki/publisher1.pem" "$pki/publisher1.key" oneslash.xml oneslash.p7
# Without signed attributes the signature covers the content digest itself.
openssl cms -sign -nodetach -binary -noattr -outform DER -md sha256 -in good.xml \
  -signer "$pki/publisher1.pem" -inkey "$pki/publisher1.key" -out pub1_noattr.p7
# Signed by a pinned key, but typed as a code signature's content.
openssl cms -sign -nodetach -binary -outform DER -md sha256 -econtent_type 1.3.6.1.4.1.311.2.1.4 \
  -in good.xml -signer "$pki/publisher1.pem" -inkey "$pki/publisher1.key" -out pub1_typed.p7
# Same length, one letter changed after signing.
python3 - <<'PY'
for name in ("pub1", "pub1_noattr"):
    data = open(name + ".p7", "rb").read()
    assert data.count(b"mgmt.example.test") == 1
    open(name + "_tampered.p7", "wb").write(data.replace(b"mgmt.example.test", b"mgmt.examp1e.test"))
PY
# SignedData with its content and no signer at all, which OpenSSL will not
# make: encoded by hand.
python3 - <<'PY'
def der(tag, body):
    n = len(body)
    size = bytes([n]) if n < 0x80 else bytes([0x80 | ((n.bit_length() + 7) // 8)]) + n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([tag]) + size + body
oid_signed = bytes.fromhex("06092a864886f70d010702")
oid_data = bytes.fromhex("06092a864886f70d010701")
content = open("good.xml", "rb").read()
encap = der(0x30, oid_data + der(0xA0, der(0x04, content)))
signed = der(0x30, der(0x02, b"\x01") + der(0x31, b"") + encap + der(0x31, b""))
open("nosigner.p7", "wb").write(der(0x30, oid_signed + der(0xA0, signed)))
PY
: > empty.xml
"$tool" sign "$pki/publisher1.pem" "$pki/publisher1.key" empty.xml empty.p7
printf 'this is not a PKCS #7 message' > notpkcs7.bin

"$tool" stamp "$product" pub1.p7 stamped.exe
"$tool" show stamped.exe "$pinned1" "$pinned2" > stamped.show
"$tool" stamp "$product" oneslash.p7 oneslash.exe
"$tool" stamp "$product" unpinned.p7 unpinned.exe

# The product signed by a pinned publisher key instead of the code-signing
# chain, with its configuration region: what the publisher fallback of the
# self-check accepts.
osslsigncode remove-signature -in "$product" -out nosig.exe >/dev/null
osslsigncode sign -certs "$pki/publisher1.pem" -key "$pki/publisher1.key" -h sha256 \
  -n "Bastion Setup" -in nosig.exe -out publisher_signed_bare.exe >/dev/null
"$tool" prepare publisher_signed_bare.exe publisher_signed.exe
rm nosig.exe publisher_signed_bare.exe
# Packages and their signers for the publisher match. Ours is the code-signing
# leaf the product is signed with; "renewed" has our subject encoded as a
# PrintableString instead of a UTF8String; "foreign" is another subject from
# the same CA; "forged" copies the foreign signer's issuer, serial number and
# key under our subject, issued by a look-alike of the CA.
msi_source=$(cd "$(dirname "$0")/../data/msi" && pwd)
(cd "$msi_source" && wixl -a x64 -D NAME=publisher -D RECONF=no -D FAIL=no -D PAYLOAD=payload.txt \
  -D UPGRADE=6D4C3F5E-1B8A-4C3B-9E3A-0A1B2C3D4E11 -D COMPONENT=6D4C3F5E-1B8A-4C3B-9E3A-0A1B2C3D4F11 \
  -o "$out/package.msi" package.wxs)
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > leaf.ext
printf '[req]\ndistinguished_name=dn\nstring_mask=nombstr\n[dn]\n' > printable.cnf
openssl req -new -key "$pki/codesign.key" -subj "/CN=Bastion Test Code Signing" -config printable.cnf \
  -out renewed.csr 2>/dev/null
openssl x509 -req -in renewed.csr -CA "$pki/root.pem" -CAkey "$pki/root.key" -set_serial 0x5101 \
  -out renewed.pem -days 3650 -sha256 -extfile leaf.ext 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout foreign.key -subj "/CN=Other Vendor Code Signing" \
  -out foreign.csr 2>/dev/null
openssl x509 -req -in foreign.csr -CA "$pki/root.pem" -CAkey "$pki/root.key" -set_serial 0x5102 \
  -out foreign.pem -days 3650 -sha256 -extfile leaf.ext 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout lookalike.key -out lookalike.pem -days 3650 \
  -subj "/CN=Bastion Test Root CA" 2>/dev/null
openssl req -new -key foreign.key -subj "/CN=Bastion Test Code Signing" -out forged.csr 2>/dev/null
openssl x509 -req -in forged.csr -CA lookalike.pem -CAkey lookalike.key -set_serial 0x5102 \
  -out forged.pem -days 3650 -sha256 -extfile leaf.ext 2>/dev/null
sign_package() {  # OUT CERT KEY [ADDED]
  osslsigncode sign -certs "$2" -key "$3" ${4:+-ac "$4"} -h sha256 -n "Bastion Test Package" \
    -in package.msi -out "$1" >/dev/null
}
sign_package own.msi "$pki/codesign-chain.pem" "$pki/codesign.key"
sign_package renewed.msi renewed.pem "$pki/codesign.key"
sign_package foreign.msi foreign.pem foreign.key
sign_package foreign_with_ours.msi foreign.pem foreign.key "$pki/codesign.pem"
sign_package foreign_with_forged.msi foreign.pem foreign.key forged.pem
touch done
