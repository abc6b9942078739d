// The native kstool's side of package_signing.h, with OpenSSL.
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

#include "package_signing.h"

namespace kstool {
namespace {

struct OpenSslFree {
  void operator()(BIO* p) const { BIO_free(p); }
  void operator()(X509* p) const { X509_free(p); }
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(CMS_ContentInfo* p) const { CMS_ContentInfo_free(p); }
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, OpenSslFree>;

// OpenSSL's own reason for the last failure, or `fallback`.
std::string LastError(const char* fallback) {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return fallback;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

Owned<X509> ReadCertificate(const std::string& path) {
  Owned<BIO> file(BIO_new_file(path.c_str(), "r"));
  return Owned<X509>(file ? PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr) : nullptr);
}

Owned<BIO> MemoryOf(const std::string& bytes) {
  return Owned<BIO>(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

// "CN=..., O=..." as the starter's log writes subjects.
std::string Subject(X509* certificate) {
  Owned<BIO> out(BIO_new(BIO_s_mem()));
  if (!out || X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate), 0,
                                 XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_FN_SN | ASN1_STRFLGS_RFC2253) < 0)
    return "(none)";
  char* text = nullptr;
  long length = BIO_get_mem_data(out.get(), &text);
  return std::string(text, static_cast<size_t>(length));
}

// A name's DER bytes, as it was read.
std::string NameBytes(X509_NAME* name) {
  const unsigned char* der = nullptr;
  size_t size = 0;
  if (X509_NAME_get0_der(name, &der, &size) != 1) return std::string();
  return std::string(reinterpret_cast<const char*>(der), size);
}

}  // namespace

const char* PackageSigningUnavailable() { return nullptr; }

bool SignPackageBytes(const std::string& certificate_pem, const std::string& key_pem, bool no_attributes,
                      const std::string& content, std::string& der, std::string& subject, std::string& error) {
  der.clear();
  Owned<X509> certificate = ReadCertificate(certificate_pem);
  if (!certificate) {
    error = "cannot read the certificate '" + certificate_pem + "': " + LastError("not a PEM certificate");
    return false;
  }
  Owned<BIO> key_file(BIO_new_file(key_pem.c_str(), "r"));
  Owned<EVP_PKEY> key(key_file ? PEM_read_bio_PrivateKey(key_file.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key) {
    error = "cannot read the key '" + key_pem + "': " + LastError("not a PEM private key");
    return false;
  }
  if (X509_check_private_key(certificate.get(), key.get()) != 1) {
    error = "the key '" + key_pem + "' does not belong to the certificate '" + certificate_pem + "'";
    return false;
  }
  Owned<BIO> data = MemoryOf(content);
  const unsigned int flags = CMS_BINARY | CMS_DETACHED | CMS_PARTIAL;
  Owned<CMS_ContentInfo> cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
  if (!cms ||
      CMS_add1_signer(cms.get(), certificate.get(), key.get(), EVP_sha256(), no_attributes ? CMS_NOATTR : 0) ==
          nullptr ||
      CMS_final(cms.get(), data.get(), nullptr, CMS_BINARY) != 1) {
    error = "cannot sign: " + LastError("OpenSSL refused");
    return false;
  }
  int length = i2d_CMS_ContentInfo(cms.get(), nullptr);
  if (length <= 0) {
    error = "cannot encode the signature: " + LastError("OpenSSL refused");
    return false;
  }
  der.resize(static_cast<size_t>(length));
  unsigned char* out = reinterpret_cast<unsigned char*>(&der[0]);
  i2d_CMS_ContentInfo(cms.get(), &out);
  subject = Subject(certificate.get());
  return true;
}

SignatureCheck CheckPackageSignature(const package::DetachedSignature& signature, const std::string& content,
                                     const std::string& expected_pem, std::string& subject, std::string& detail) {
  subject = "(none)";
  Owned<X509> expected = ReadCertificate(expected_pem);
  if (!expected) {
    detail = "cannot read the certificate '" + expected_pem + "'";
    return SignatureCheck::kOtherSigner;
  }
  const unsigned char* certificate_bytes = reinterpret_cast<const unsigned char*>(signature.signer_certificate.data());
  Owned<X509> signer(signature.signer_certificate.empty()
                         ? nullptr
                         : d2i_X509(nullptr, &certificate_bytes, static_cast<long>(signature.signer_certificate.size())));
  if (!signer) {
    detail = "the signature does not carry its signer's certificate";
    return SignatureCheck::kOtherSigner;
  }
  subject = Subject(signer.get());
  // Names compared as the starter compares them: byte for byte.
  bool same_key = EVP_PKEY_eq(X509_get0_pubkey(expected.get()), X509_get0_pubkey(signer.get())) == 1;
  if (NameBytes(X509_get_subject_name(expected.get())) != NameBytes(X509_get_subject_name(signer.get())) ||
      !same_key) {
    detail = subject + (same_key ? "" : " with another key") + ", expected " + Subject(expected.get());
    return SignatureCheck::kOtherSigner;
  }
  EVP_PKEY* key = X509_get0_pubkey(expected.get());
  if (key == nullptr || EVP_PKEY_base_id(key) != EVP_PKEY_RSA) {
    detail = "the expected signer's key is not RSA";
    return SignatureCheck::kBadSignature;
  }
  if (signature.has_signed_attributes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(content.data(), content.size(), digest, &size, EVP_sha256(), nullptr) != 1 ||
        std::string(reinterpret_cast<char*>(digest), size) != signature.message_digest) {
      detail = "the messageDigest attribute is not the SHA-256 of the signed bytes";
      return SignatureCheck::kDigestMismatch;
    }
  }
  // With signed attributes the signature is over them (as a SET OF), which
  // hold the content's digest; without, over the content itself.
  const std::string& signed_data = signature.has_signed_attributes ? signature.signed_attributes : content;
  Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key) != 1 ||
      EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.signature.data()),
                       signature.signature.size(), reinterpret_cast<const unsigned char*>(signed_data.data()),
                       signed_data.size()) != 1) {
    detail = "not verified with the expected signer's key: " + LastError("the signature does not match");
    return SignatureCheck::kBadSignature;
  }
  return SignatureCheck::kGood;
}

}  // namespace kstool
