// Host tool for administrators and tests: signs a configuration, gives a
// stub signed elsewhere its configuration region, stamps the configuration
// into a code-signed BastionSetup stub, takes it out again, and shows what
// the stub's -v mode will print.
#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Src/VTDropper/config_blob.h"
#include "tools/stub_stamping.h"

using namespace bastion;

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  bastion_stamp sign CERT.pem KEY.pem CONFIG.xml OUT.p7\n"
    "  bastion_stamp prepare [--appended] SIGNED.exe OUT.exe\n"
    "  bastion_stamp stamp [--appended] STUB.exe CONFIG.p7 OUT.exe\n"
    "  bastion_stamp unstamp [--appended] STUB.exe OUT.exe\n"
    "  bastion_stamp show STUB.exe PINNED1.pem [PINNED2.pem]\n";

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Cms = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo, CMS_ContentInfo_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;

int Fail(const std::string& message) {
  fprintf(stderr, "bastion_stamp: %s\n", message.c_str());
  return 1;
}

bool ReadAll(const std::string& path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Writes beside the target and renames over it, so the target is either the
// old file or the complete new one.
std::string WriteAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return "cannot create a temporary file beside " + path + ": " + strerror(errno);
  size_t written = 0;
  bool ok = fchmod(fd, 0755) == 0;
  while (ok && written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n <= 0) ok = false;
    else written += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  const std::string error = ok ? "" : std::string(strerror(errno));
  if (close(fd) != 0) ok = false;
  if (ok && rename(temporary.c_str(), path.c_str()) == 0) return {};
  unlink(temporary.c_str());
  return "cannot write " + path + (error.empty() ? "" : ": " + error);
}

Cert ReadCertificate(const std::string& path) {
  Bio bio(BIO_new_file(path.c_str(), "rb"));
  if (!bio) return nullptr;
  return Cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

Cms ParseSignedData(const std::vector<uint8_t>& der) {
  const unsigned char* p = der.data();
  Cms cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size())));
  if (!cms || p != der.data() + der.size() ||
      OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) {
    return nullptr;
  }
  return cms;
}

int Sign(const std::string& certPath, const std::string& keyPath, const std::string& configPath,
         const std::string& outPath) {
  Cert cert = ReadCertificate(certPath);
  if (!cert) return Fail("cannot read the certificate " + certPath);
  Bio keyBio(BIO_new_file(keyPath.c_str(), "rb"));
  Key key(keyBio ? PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key) return Fail("cannot read the private key " + keyPath);
  // The stub verifies RSA PKCS #1 v1.5 signatures only.
  if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) return Fail("the key is not an RSA key");
  if (X509_check_private_key(cert.get(), key.get()) != 1) {
    return Fail("the key does not belong to the certificate");
  }
  std::vector<uint8_t> config;
  if (!ReadAll(configPath, config)) return Fail("cannot read " + configPath);
  static const char kEmpty[] = "";
  Bio in(BIO_new_mem_buf(config.empty() ? kEmpty : static_cast<const void*>(config.data()),
                         static_cast<int>(config.size())));
  if (!in) return Fail("cannot read " + configPath);
  constexpr unsigned int kFlags = CMS_BINARY | CMS_PARTIAL;
  Cms cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, kFlags));
  if (!cms || CMS_add1_signer(cms.get(), cert.get(), key.get(), EVP_sha256(), CMS_BINARY) == nullptr ||
      CMS_final(cms.get(), in.get(), nullptr, CMS_BINARY) != 1) {
    return Fail("signing failed");
  }
  unsigned char* der = nullptr;
  const int size = i2d_CMS_ContentInfo(cms.get(), &der);
  if (size <= 0) return Fail("encoding the signed configuration failed");
  std::vector<uint8_t> bytes(der, der + size);
  OPENSSL_free(der);
  const std::string error = WriteAtomically(outPath, bytes);
  return error.empty() ? 0 : Fail(error);
}

int Stamp(const std::string& stubPath, const std::vector<uint8_t>& content, bool allowUnmarked,
          BlobLayout layout, const std::string& outPath) {
  std::vector<uint8_t> stub;
  if (!ReadAll(stubPath, stub)) return Fail("cannot read " + stubPath);
  std::vector<uint8_t> stamped;
  const std::string error = StampContent(stub, content, allowUnmarked, stamped, layout);
  if (!error.empty()) {
    const bool signedElsewhere = !allowUnmarked && error == "the blob markers are missing";
    return Fail(stubPath + ": " + error + (signedElsewhere ? " (a stub signed elsewhere needs bastion_stamp prepare)" : ""));
  }
  const std::string writeError = WriteAtomically(outPath, stamped);
  return writeError.empty() ? 0 : Fail(writeError);
}

// Signer 0 under the certificate's public key, and its messageDigest against
// the content: no chain, no dates, as the stub checks.
bool SignerZeroVerifies(CMS_ContentInfo* cms, X509* cert) {
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms);
  if (signers == nullptr || sk_CMS_SignerInfo_num(signers) < 1) return false;
  CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(signers, 0);
  CMS_SignerInfo_set1_signer_cert(signer, cert);
  bool ok = CMS_signed_get_attr_count(signer) < 0 || CMS_SignerInfo_verify(signer) == 1;
  if (ok) {
    // The digest of the content comes from reading it through the
    // message's digest chain.
    Bio chain(CMS_dataInit(cms, nullptr));
    ok = chain != nullptr;
    char buffer[4096];
    while (ok && BIO_read(chain.get(), buffer, sizeof(buffer)) > 0) {
    }
    ok = ok && CMS_SignerInfo_verify_content(signer, chain.get()) == 1;
  }
  CMS_SignerInfo_set1_signer_cert(signer, nullptr);
  ERR_clear_error();
  return ok;
}

int Show(const std::string& stubPath, const std::vector<std::string>& pinnedPaths) {
  std::vector<Cert> pinned;
  for (const auto& path : pinnedPaths) {
    Cert cert = ReadCertificate(path);
    if (!cert) return Fail("cannot read the certificate " + path);
    pinned.push_back(std::move(cert));
  }
  std::vector<uint8_t> stub;
  if (!ReadAll(stubPath, stub)) return Fail("cannot read " + stubPath);
  // From here on the texts and their order are the stub's own.
  const auto bounds = LocateBlob(stub.data(), stub.size());
  if (!bounds) {
    fprintf(stderr, "%s", "Failed to parse configuration data!\n");
    return 1;
  }
  std::vector<uint8_t> blob(stub.begin() + static_cast<std::ptrdiff_t>(bounds->offset),
                            stub.begin() + static_cast<std::ptrdiff_t>(bounds->offset + bounds->length));
  Cms cms = ParseSignedData(blob);
  // Like the stub, plain data only.
  const bool plainData = cms && OBJ_obj2nid(CMS_get0_eContentType(cms.get())) == NID_pkcs7_data;
  bool verified = false;
  for (const auto& cert : pinned) verified = verified || (cms && SignerZeroVerifies(cms.get(), cert.get()));
  ASN1_OCTET_STRING** content = cms ? CMS_get0_content(cms.get()) : nullptr;
  if (!plainData || !verified || content == nullptr || *content == nullptr) {
    fprintf(stderr, "%s", "Failed to authenticate BastionSetup!\n");
    return 1;
  }
  std::vector<uint8_t> document(ASN1_STRING_get0_data(*content),
                                ASN1_STRING_get0_data(*content) + ASN1_STRING_length(*content));
  document.push_back(0);
  const ConfigDocument config(document);
  const std::string configDat = MakeConfigDat(config.GetElement("AG_CONFIG"));
  const std::string serverUrl = config.GetElement("URL");
  ServerAddress server;
  if (!SplitServerUrl(serverUrl, server)) {
    fprintf(stderr, "%s", "Failed to parse internal data!\n");
    return 1;
  }
  printf("Config Dat:\n%s\n", configDat.c_str());
  printf("URL:\n%s\n", serverUrl.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const std::string command = args.empty() ? "" : args[0];
  const bool stamping = command == "prepare" || command == "stamp" || command == "unstamp";
  BlobLayout layout = BlobLayout::kCertificate;
  if (stamping && args.size() > 1 && args[1] == "--appended") {
    layout = BlobLayout::kAppended;
    args.erase(args.begin() + 1);
  }
  if (command == "sign" && args.size() == 5) return Sign(args[1], args[2], args[3], args[4]);
  if (command == "stamp" && args.size() == 4) {
    std::vector<uint8_t> signedConfig;
    if (!ReadAll(args[2], signedConfig)) return Fail("cannot read " + args[2]);
    if (!ParseSignedData(signedConfig)) {
      return Fail(args[2] + ": not a DER PKCS #7 SignedData message");
    }
    return Stamp(args[1], signedConfig, false, layout, args[3]);
  }
  // prepare: a stub signed elsewhere, without markers yet; unstamp: a stub
  // that has them.
  if ((command == "prepare" || command == "unstamp") && args.size() == 3) {
    return Stamp(args[1], UnconfiguredContent(), command == "prepare", layout, args[2]);
  }
  if (command == "show" && (args.size() == 3 || args.size() == 4)) {
    return Show(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
  }
  fprintf(stderr, "%s", kUsage);
  return 2;
}
