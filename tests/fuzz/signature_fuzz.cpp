// Reads arbitrary bytes as a signed module, and as each kind of signature
// block on its own, with no trust anchor: nothing may come out trusted.
#include <cstdint>
#include <cstdlib>

#include "filesystem/trust/embedded_signature.h"

namespace {

namespace detail = Halvex::Tessaran::PAL::detail;

void expectUntrusted(const detail::SignatureCheck& check) {
  if (check.verdict != 1 && check.verdict != -1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const detail::TrustAnchors anchors{false, {}, {}};
  const detail::Bytes bytes(data, size);
  expectUntrusted(detail::checkModuleSignature(detail::ByteView(data, size), anchors));
  expectUntrusted(detail::verifyDetachedSignature({}, bytes, anchors));
  expectUntrusted(detail::verifyIndirectDataSignature(bytes, {bytes}, anchors));
  return 0;
}
