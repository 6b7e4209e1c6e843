// Finding a module's embedded signature, checking it against the configured
// trust anchors, and appending one to an ELF module.
//
// ELF modules carry the signature the kernel's module signing appends: the
// module's bytes, a detached PKCS#7 SignedData over them, a 12-byte record
// (algorithm, hash, identifier type 2 for PKCS#7, signer and key identifier
// lengths, three bytes of padding, all 0 but the type, then the signature's
// length as a big-endian 32-bit number) and the marker below. Windows
// modules carry Authenticode in their certificate table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "filesystem/trust/signature_openssl.h"
#include "modules/byte_view.h"

namespace Halvex::Tessaran::PAL::detail {

inline constexpr std::string_view kAppendedSignatureMarker = "~Module signature appended~\n";
inline constexpr std::size_t kAppendedRecordSize = 12;

// Where a module's signature lies and what it covers.
struct SignatureBlock {
  enum Kind { Absent, Malformed, Appended, Authenticode };
  Kind kind = Absent;
  std::string fault;           // Malformed: what is wrong with it
  Bytes signedData;            // the SignedData
  std::vector<Bytes> covered;  // Appended: the module; Authenticode: the image as hashed
};

// The signature block of a module file's bytes; Absent for a file that is
// neither an ELF nor a Windows module, or a module that carries none.
SignatureBlock findSignatureBlock(ByteView file);

// The verdict for a module's bytes; -1 when they are no module.
SignatureCheck checkModuleSignature(ByteView file, const TrustAnchors& anchors);
// The same for a file (a native path); -1 when it cannot be read.
SignatureCheck checkModuleSignatureFile(const std::string& path, const TrustAnchors& anchors);

// The system's certificate store and the certificate folder named by the
// settings store (user hive before machine hive), with the "distrusted"
// folder beside it.
TrustAnchors configuredTrustAnchors();

// The trailer that follows a signature of `signatureSize` bytes.
std::vector<std::uint8_t> appendedSignatureTrailer(std::uint32_t signatureSize);

// Signs an ELF module in place (through a new file renamed over it),
// replacing the signature it carried; false with `error` set on failure.
bool signModuleFile(const std::string& path, const std::string& keyFile, const std::string& certFile,
                    std::string& error);

}  // namespace Halvex::Tessaran::PAL::detail
