// Lisp file signatures, judged by the host's verification component.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "base/utf16.h"
#include "base/utf8.h"
#include "filesystem/trust/component_server.h"
#include "pal/code_trust.h"
#include "settings/classes_root.h"
#include "settings/env_expand.h"

namespace Halvex::Tessaran::PAL {

namespace {

constexpr int kHasSignatureSlot = detail::kFirstInterfaceSlot;
constexpr int kIsSignatureValidSlot = detail::kFirstInterfaceSlot + 2;

using Query = detail::HRESULT (*)(detail::ComponentObject*, const char16_t*, std::int32_t, std::int32_t*);

// The identifier as registry keys name it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::wstring registryName(const CodeTrust::ComponentId& id) {
  wchar_t text[40];
  std::swprintf(text, std::size(text), L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id.data1,
                id.data2, id.data3, id.data4[0], id.data4[1], id.data4[2], id.data4[3], id.data4[4],
                id.data4[5], id.data4[6], id.data4[7]);
  return text;
}

// The server's file: the default value of its key, the user's over the
// machine's.
std::string serverPath(const CodeTrust::ComponentId& classId) {
  std::vector<detail::StoreValue> values;
  std::vector<std::wstring> subkeys;
  if (detail::classesRootKey(L"CLSID\\" + registryName(classId) + L"\\InprocServer32", values, subkeys) != 0)
    return {};
  for (const detail::StoreValue& value : values) {
    if (!value.name.empty()) continue;
    if (value.type == detail::REG_SZ) return detail::wideToUtf8(detail::stringFromData(value.data));
    if (value.type == detail::REG_EXPAND_SZ)
      return detail::wideToUtf8(detail::expandEnvironmentReferences(detail::stringFromData(value.data)));
  }
  return {};
}

// A length-prefixed UTF-16 string: a 32-bit byte count, the text, a zero.
class LengthPrefixedString {
 public:
  explicit LengthPrefixedString(const wchar_t* text) {
    const std::u16string utf16 = detail::wideToUtf16(text);
    const std::uint32_t bytes = static_cast<std::uint32_t>(utf16.size() * sizeof(char16_t));
    units_.resize(2 + utf16.size() + 1);
    std::memcpy(units_.data(), &bytes, sizeof bytes);
    std::memcpy(units_.data() + 2, utf16.data(), bytes);
  }
  const char16_t* text() const { return units_.data() + 2; }

 private:
  std::vector<char16_t> units_;
};

struct Released {
  void operator()(detail::ComponentObject* object) const { detail::release(object); }
};

}  // namespace

namespace CodeTrust {

int verifyLispFileSignature(const wchar_t* file) {
  if (!file) return -1;
  const std::string server = serverPath(kLispSignatureVerifierClassId);
  if (server.empty()) return -1;
  const std::unique_ptr<detail::ComponentObject, Released> verifier(
      detail::createInstance(server, kLispSignatureVerifierClassId, kLispSignatureVerifierInterfaceId));
  if (!verifier) return -1;
  const LengthPrefixedString path(file);
  auto call = [&](int slot, std::int32_t& flag) {
    return reinterpret_cast<Query>(verifier->vtable[slot])(verifier.get(), path.text(), 0, &flag) >= 0;
  };
  std::int32_t present = 0, valid = 0;
  if (!call(kHasSignatureSlot, present) || present == 0) return -1;
  return call(kIsSignatureValidSlot, valid) && valid != 0 ? 0 : 1;
}

}  // namespace CodeTrust

}  // namespace Halvex::Tessaran::PAL
