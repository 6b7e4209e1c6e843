// The cryptographic half of code trust: checks of signature blocks and the
// signing of module bytes. Only bytes, paths and verdicts cross this header,
// so the backend behind it can change or be loaded on first use.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

using Bytes = std::span<const std::uint8_t>;

// The certificates a signer must chain to, and those never trusted. A folder
// holds certificate files (PEM, several to a file, or DER); its other files
// are skipped. A certificate in a trusted folder is an anchor by itself, so
// a plug-in author's self-signed certificate can be trusted directly.
struct TrustAnchors {
  bool systemStore = true;  // OpenSSL's default locations (SSL_CERT_FILE, SSL_CERT_DIR)
  std::vector<std::string> trustedFolders;
  std::vector<std::string> distrustedFolders;
};

// A verdict as verifyEmbeddedSignature returns it, with the signer's subject
// when one was found and, for any verdict but 0, the reason.
struct SignatureCheck {
  int verdict = -1;
  std::string signer;
  std::string reason;
};

inline SignatureCheck signatureFails(std::string reason) {
  return {1, {}, std::move(reason)};
}

// A detached CMS (PKCS#7) SignedData over `content`; signer certificates may
// also come from the trusted folders, as when the signature carries none.
SignatureCheck verifyDetachedSignature(Bytes content, Bytes signature, const TrustAnchors& anchors);

// A PKCS#7 SignedData holding indirect data whose digest must equal the
// digest, with the algorithm it names, of `hashed` taken in order.
SignatureCheck verifyIndirectDataSignature(Bytes signedData, const std::vector<Bytes>& hashed,
                                           const TrustAnchors& anchors);

// A detached SignedData over `content` as the kernel's module signing makes
// it (SHA-256, no signed attributes), carrying the signer's certificate and
// any further certificates of `certFile` (the first is the signer's). Files
// may be PEM or DER; an encrypted key prompts on the terminal, as openssl
// does. False with `error` set on failure.
bool signDetached(Bytes content, const std::string& keyFile, const std::string& certFile,
                  std::vector<std::uint8_t>& signature, std::string& error);

}  // namespace Halvex::Tessaran::PAL::detail
