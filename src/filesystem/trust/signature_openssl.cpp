// Signature checks and signing with OpenSSL's CMS and PKCS#7 code.
#include "filesystem/trust/signature_openssl.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <memory>

namespace Halvex::Tessaran::PAL::detail {

namespace {

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* p) const {
    Free(p);
  }
};
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using StorePtr = std::unique_ptr<X509_STORE, Deleter<X509_STORE_free>>;
using StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX_free>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo_free>>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, Deleter<PKCS7_free>>;
using DigestInfoPtr = std::unique_ptr<X509_SIG, Deleter<X509_SIG_free>>;
using DigestCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using ObjectPtr = std::unique_ptr<ASN1_OBJECT, Deleter<ASN1_OBJECT_free>>;

void freeCertificates(STACK_OF(X509) * stack) {
  sk_X509_pop_free(stack, X509_free);
}
// A stack that only lends its certificates (they belong to someone else).
void freeStackOnly(STACK_OF(X509) * stack) {
  sk_X509_free(stack);
}
using OwnedCertificates = std::unique_ptr<STACK_OF(X509), Deleter<freeCertificates>>;
using LentCertificates = std::unique_ptr<STACK_OF(X509), Deleter<freeStackOnly>>;

// The SpcIndirectDataContent type of a signed Windows module.
constexpr const char* kIndirectDataOid = "1.3.6.1.4.1.311.2.1.4";

// OpenSSL reports through a per-thread queue; callers of the library must
// not find this module's failures in theirs.
struct ErrorQueueScope {
  ErrorQueueScope() { ERR_clear_error(); }
  ~ErrorQueueScope() { ERR_clear_error(); }
};

std::string opensslReason() {
  const unsigned long code = ERR_peek_last_error();
  const char* reason = code ? ERR_reason_error_string(code) : nullptr;
  return reason ? reason : "unknown error";
}

std::string subjectOf(X509* certificate) {
  BioPtr out(BIO_new(BIO_s_mem()));
  if (!out || X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate), 0,
                                 XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0)
    return {};
  char* text = nullptr;
  const long length = BIO_get_mem_data(out.get(), &text);
  return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

// Every certificate of a PEM file, or the one of a DER file.
bool loadCertificates(const std::string& file, std::vector<X509Ptr>& out) {
  BioPtr in(BIO_new_file(file.c_str(), "rb"));
  if (!in) return false;
  const std::size_t before = out.size();
  while (X509* certificate = PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr))
    out.emplace_back(certificate);
  if (out.size() == before && BIO_seek(in.get(), 0) == 0) {
    if (X509* certificate = d2i_X509_bio(in.get(), nullptr)) out.emplace_back(certificate);
  }
  // The end of PEM input is queued as an error.
  ERR_clear_error();
  return out.size() > before;
}

void loadFolder(const std::string& folder, std::vector<X509Ptr>& out) {
  namespace fs = std::filesystem;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError)) loadCertificates(it->path().string(), out);
  }
}

KeyPtr loadKey(const std::string& file) {
  BioPtr in(BIO_new_file(file.c_str(), "rb"));
  if (!in) return nullptr;
  KeyPtr key(PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr));
  if (!key && BIO_seek(in.get(), 0) == 0) key.reset(d2i_PrivateKey_bio(in.get(), nullptr));
  return key;
}

// The anchors of one verification, read afresh: the library keeps no trust
// state between calls.
class Anchors {
 public:
  explicit Anchors(const TrustAnchors& anchors) : store_(X509_STORE_new()) {
    if (!store_) return;
    if (anchors.systemStore) X509_STORE_set_default_paths(store_.get());
    for (const std::string& folder : anchors.trustedFolders) loadFolder(folder, trusted_);
    for (const X509Ptr& certificate : trusted_) X509_STORE_add_cert(store_.get(), certificate.get());
    for (const std::string& folder : anchors.distrustedFolders) loadFolder(folder, distrusted_);
    X509_STORE_set_flags(store_.get(), X509_V_FLAG_PARTIAL_CHAIN);
    ERR_clear_error();
  }

  X509_STORE* store() const { return store_.get(); }

  // The folders' certificates with those the signature carries: where a
  // signer's certificate or its intermediates may be found.
  LentCertificates candidates(const STACK_OF(X509) * carried) const {
    LentCertificates all(sk_X509_new_null());
    if (!all) return all;
    for (const X509Ptr& certificate : trusted_) sk_X509_push(all.get(), certificate.get());
    for (int i = 0; carried && i < sk_X509_num(carried); ++i)
      sk_X509_push(all.get(), sk_X509_value(carried, i));
    return all;
  }

  // Empty when the signer chains to an anchor with no distrusted certificate
  // on the way and may sign code; otherwise why not.
  std::string chainFault(X509* signer, STACK_OF(X509) * untrusted) const {
    StoreCtxPtr context(X509_STORE_CTX_new());
    if (!store_ || !context || X509_STORE_CTX_init(context.get(), store_.get(), signer, untrusted) != 1)
      return "out of memory";
    if (X509_verify_cert(context.get()) != 1)
      return std::string("the signer is not trusted: ") +
             X509_verify_cert_error_string(X509_STORE_CTX_get_error(context.get()));
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get());
    // The chain starts with the signer's own certificate.
    for (int i = 0; i < sk_X509_num(chain); ++i) {
      if (!isDistrusted(sk_X509_value(chain, i))) continue;
      if (i == 0) return "the signer's certificate is explicitly distrusted";
      return "a certificate of the signer's chain is explicitly distrusted: " +
             subjectOf(sk_X509_value(chain, i));
    }
    if (!maySignCode(signer)) return "the signer's certificate is not meant for code signing";
    return {};
  }

 private:
  bool isDistrusted(X509* certificate) const {
    for (const X509Ptr& distrusted : distrusted_)
      if (X509_cmp(distrusted.get(), certificate) == 0) return true;
    return false;
  }

  // Key usages limit a certificate only where it names them.
  static bool maySignCode(X509* certificate) {
    const std::uint32_t flags = X509_get_extension_flags(certificate);
    if ((flags & EXFLAG_XKUSAGE) &&
        !(X509_get_extended_key_usage(certificate) & (XKU_CODE_SIGN | XKU_ANYEKU)))
      return false;
    return !(flags & EXFLAG_KUSAGE) || (X509_get_key_usage(certificate) & KU_DIGITAL_SIGNATURE);
  }

  StorePtr store_;
  std::vector<X509Ptr> trusted_, distrusted_;
};

// Chains every signer whose signature verified; the verdict names the first.
SignatureCheck checkSigners(const Anchors& anchors, STACK_OF(X509) * signers, STACK_OF(X509) * untrusted) {
  if (!signers || sk_X509_num(signers) == 0) return signatureFails("the signature names no signer");
  SignatureCheck check{0, subjectOf(sk_X509_value(signers, 0)), {}};
  for (int i = 0; i < sk_X509_num(signers); ++i) {
    std::string fault = anchors.chainFault(sk_X509_value(signers, i), untrusted);
    if (!fault.empty()) return {1, subjectOf(sk_X509_value(signers, i)), std::move(fault)};
  }
  return check;
}

BioPtr memoryBio(Bytes bytes) {
  return BioPtr(bytes.size() <= INT_MAX ? BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size()))
                                        : nullptr);
}

// The content a signature is verified over. CMS_verify and PKCS7_verify copy
// a memory BIO and leak the copy when the signature names a digest they
// cannot set up; behind a filter they read this one.
BioPtr verifiedContentBio(Bytes bytes) {
  BioPtr memory = memoryBio(bytes);
  BioPtr filter(memory ? BIO_new(BIO_f_null()) : nullptr);
  if (!filter) return {};
  BIO_push(filter.get(), memory.release());
  return filter;
}

// The value of a DER SEQUENCE (its contents without tag and length) inside
// `bytes`; false when `bytes` do not start with one of definite length.
bool sequenceValue(const unsigned char* bytes, long size, const unsigned char*& value, long& length) {
  int tag = 0, type = 0;
  value = bytes;
  const int result = ASN1_get_object(&value, &length, &tag, &type, size);
  return result == V_ASN1_CONSTRUCTED && tag == V_ASN1_SEQUENCE && type == V_ASN1_UNIVERSAL;
}

}  // namespace

SignatureCheck verifyDetachedSignature(Bytes content, Bytes signature, const TrustAnchors& trust) {
  ErrorQueueScope errors;
  BioPtr signatureBio = memoryBio(signature), contentBio = verifiedContentBio(content);
  if (!signatureBio || !contentBio) return {-1, {}, "the module is too large to verify"};
  CmsPtr cms(d2i_CMS_bio(signatureBio.get(), nullptr));
  if (!cms || OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed)
    return signatureFails("the signature block holds no CMS SignedData");
  Anchors anchors(trust);
  OwnedCertificates carried(CMS_get1_certs(cms.get()));
  LentCertificates candidates = anchors.candidates(carried.get());
  if (CMS_verify(cms.get(), candidates.get(), anchors.store(), contentBio.get(), nullptr,
                 CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) != 1) {
    if (ERR_GET_REASON(ERR_peek_last_error()) == CMS_R_SIGNER_CERTIFICATE_NOT_FOUND)
      return signatureFails("the signer's certificate is neither in the signature nor in a trusted folder");
    return signatureFails("the module's bytes do not match the signature (" + opensslReason() + ")");
  }
  LentCertificates signers(CMS_get0_signers(cms.get()));
  return checkSigners(anchors, signers.get(), candidates.get());
}

SignatureCheck verifyIndirectDataSignature(Bytes signedData, const std::vector<Bytes>& hashed,
                                           const TrustAnchors& trust) {
  ErrorQueueScope errors;
  if (signedData.size() > LONG_MAX) return signatureFails("the signature block is too large");
  const unsigned char* in = signedData.data();
  Pkcs7Ptr p7(d2i_PKCS7(nullptr, &in, static_cast<long>(signedData.size())));
  if (!p7 || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign || !p7->d.sign->contents)
    return signatureFails("the certificate table holds no PKCS#7 SignedData");

  // The indirect data: the digest of the image, which the signature covers
  // as the value of its SEQUENCE.
  const PKCS7* inner = p7->d.sign->contents;
  ObjectPtr indirectData(OBJ_txt2obj(kIndirectDataOid, 1));
  const ASN1_TYPE* content = inner->d.other;
  if (!indirectData || !inner->type || OBJ_cmp(inner->type, indirectData.get()) != 0 || !content ||
      content->type != V_ASN1_SEQUENCE || !content->value.sequence)
    return signatureFails("the signature holds no indirect data");
  const unsigned char* value = nullptr;
  long valueLength = 0;
  if (!sequenceValue(content->value.sequence->data, content->value.sequence->length, value, valueLength))
    return signatureFails("the indirect data is malformed");
  // The first element names the kind of file; the digest follows it.
  const unsigned char* element = nullptr;
  long elementLength = 0;
  if (!sequenceValue(value, valueLength, element, elementLength))
    return signatureFails("the indirect data is malformed");
  const unsigned char* digestAt = element + elementLength;
  DigestInfoPtr digestInfo(d2i_X509_SIG(nullptr, &digestAt, value + valueLength - digestAt));
  if (!digestInfo) return signatureFails("the indirect data holds no digest");
  const X509_ALGOR* algorithm = nullptr;
  const ASN1_OCTET_STRING* expected = nullptr;
  X509_SIG_get0(digestInfo.get(), &algorithm, &expected);
  const ASN1_OBJECT* algorithmId = nullptr;
  X509_ALGOR_get0(&algorithmId, nullptr, nullptr, algorithm);
  const EVP_MD* md = EVP_get_digestbyobj(algorithmId);
  if (!md) return signatureFails("the image digest uses an unknown algorithm");

  Anchors anchors(trust);
  LentCertificates candidates = anchors.candidates(p7->d.sign->cert);
  BioPtr signedBytes = verifiedContentBio(Bytes(value, static_cast<std::size_t>(valueLength)));
  if (!signedBytes || PKCS7_verify(p7.get(), candidates.get(), anchors.store(), signedBytes.get(), nullptr,
                                   PKCS7_BINARY | PKCS7_NOVERIFY) != 1)
    return signatureFails("the signature over the indirect data does not verify (" + opensslReason() + ")");
  LentCertificates signers(PKCS7_get0_signers(p7.get(), candidates.get(), 0));

  DigestCtxPtr context(EVP_MD_CTX_new());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  bool hashedAll = context && EVP_DigestInit_ex(context.get(), md, nullptr) == 1;
  for (const Bytes& part : hashed)
    hashedAll = hashedAll && EVP_DigestUpdate(context.get(), part.data(), part.size()) == 1;
  hashedAll = hashedAll && EVP_DigestFinal_ex(context.get(), digest, &digestLength) == 1;
  if (!hashedAll) return signatureFails("the image could not be hashed");
  if (static_cast<int>(digestLength) != ASN1_STRING_length(expected) ||
      std::memcmp(digest, ASN1_STRING_get0_data(expected), digestLength) != 0) {
    SignatureCheck check = signatureFails("the image's digest does not match its signature");
    if (signers && sk_X509_num(signers.get()) > 0) check.signer = subjectOf(sk_X509_value(signers.get(), 0));
    return check;
  }
  return checkSigners(anchors, signers.get(), candidates.get());
}

bool signDetached(Bytes content, const std::string& keyFile, const std::string& certFile,
                  std::vector<std::uint8_t>& signature, std::string& error) {
  ErrorQueueScope errors;
  std::vector<X509Ptr> certificates;
  if (!loadCertificates(certFile, certificates)) {
    error = "no certificate could be read from " + certFile;
    return false;
  }
  KeyPtr key = loadKey(keyFile);
  if (!key) {
    error = "no private key could be read from " + keyFile;
    return false;
  }
  if (X509_check_private_key(certificates.front().get(), key.get()) != 1) {
    error = "the key does not belong to the certificate";
    return false;
  }
  BioPtr data = memoryBio(content);
  constexpr unsigned kFlags = CMS_BINARY | CMS_DETACHED;
  CmsPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, kFlags | CMS_PARTIAL));
  bool signedAll = data && cms &&
                   CMS_add1_signer(cms.get(), certificates.front().get(), key.get(), EVP_sha256(),
                                   kFlags | CMS_NOATTR | CMS_NOSMIMECAP) != nullptr;
  for (std::size_t i = 1; signedAll && i < certificates.size(); ++i)
    signedAll = CMS_add1_cert(cms.get(), certificates[i].get()) == 1;
  signedAll = signedAll && CMS_final(cms.get(), data.get(), nullptr, kFlags) == 1;
  const int length = signedAll ? i2d_CMS_ContentInfo(cms.get(), nullptr) : -1;
  if (length <= 0) {
    error = "signing failed (" + opensslReason() + ")";
    return false;
  }
  signature.resize(static_cast<std::size_t>(length));
  unsigned char* out = signature.data();
  i2d_CMS_ContentInfo(cms.get(), &out);
  return true;
}

}  // namespace Halvex::Tessaran::PAL::detail
