// Fuzzes the readers of the cloud synchronisation clients' files: the Dropbox
// account file, a text file's first line, multi-string setting data, the
// Linux clients' settings files and rclone's remotes.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "filesystem/cloud/cloud_clients.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace detail = Halvex::Tessaran::PAL::detail;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto accounts = detail::parseDropboxInfo(bytes)) {
    for (const detail::DropboxAccount& a : *accounts)
      if (!a.wellFormed && (!a.path.empty() || !a.subscriptionType.empty())) __builtin_trap();
  }
  const detail::FirstLine line = detail::firstLineOf(bytes);
  if (line.text.size() > 259 || line.text.find(L'\n') != std::wstring::npos) __builtin_trap();
  for (const std::wstring& s : detail::multiStrings(std::vector<unsigned char>(data, data + size)))
    if (s.empty() || s.size() > size / 2) __builtin_trap();
  if (const auto folders = detail::parseSyncClientFolders(bytes)) {
    for (const std::wstring& f : *folders)
      if (f.empty() || f[0] != L'/' || f.find(L'\0') != std::wstring::npos) __builtin_trap();
  }
  if (const auto config = detail::parseOneDriveClientConfig(bytes, L"/home/u")) {
    if (config->syncDir.empty() || config->syncDir[0] != L'/') __builtin_trap();
  }
  // The first line names the mounted remote, the rest is the file.
  const std::size_t newline = bytes.find('\n');
  const std::string_view source = bytes.substr(0, newline);
  const std::string_view config = newline == std::string_view::npos ? "" : bytes.substr(newline + 1);
  if (detail::rcloneMountKind(config, source).accountType.empty()) __builtin_trap();
  detail::gvfsMountKind(source);
  return 0;
}
