// Trusted folders of a Linux system and folders reached through symbolic
// links or bind mounts.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>

#include "base/path_text.h"
#include "filesystem/code_trust_internal.h"
#include "modules/module_names.h"
#include "pal/code_trust.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

namespace {

bool isElementPrefix(const std::string& path, const std::string& folder) {
  if (folder == "/") return path.starts_with('/');
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

// "/" joined with "/x" must not give "//x".
std::string joined(const std::string& head, const std::string& tail) {
  if (!head.empty() && head.back() == '/' && tail.starts_with('/')) return head + tail.substr(1);
  return head + tail;
}

std::optional<std::string> canonical(const std::string& path) {
  std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path.c_str(), nullptr), &::free);
  if (!resolved) return std::nullopt;
  return std::string(resolved.get());
}

}  // namespace

std::optional<std::string> pathOutsideBindMount(const std::vector<MountEntry>& mounts,
                                                const std::string& canonicalPath) {
  const MountEntry* bound = mountHolding(mounts, canonicalPath);
  // A mount showing its file system's root is the file system itself.
  if (!bound || bound->root == "/") return std::nullopt;
  const std::string below = canonicalPath.substr(bound->mountPoint == "/" ? 0 : bound->mountPoint.size());

  const MountEntry* best = nullptr;
  std::string result;
  for (const MountEntry& m : mounts) {
    if (&m == bound || m.device != bound->device || !isElementPrefix(bound->root, m.root)) continue;
    const std::string inner = bound->root.substr(m.root == "/" ? 0 : m.root.size());
    std::string candidate = joined(joined(m.mountPoint, inner), below);
    // Another mount on the way hides the folder there.
    if (mountHolding(mounts, candidate) != &m) continue;
    // The mount showing most of the file system names the folder nearest to
    // where it really lives.
    if (!best || m.root.size() < best->root.size()) {
      best = &m;
      result = std::move(candidate);
    }
  }
  if (!best) return std::nullopt;
  return result;
}

bool expandLinkedPath(std::wstring& path, const std::vector<MountEntry>& mounts) {
  if (!path.starts_with(L'/')) return false;
  const std::optional<boost::filesystem::path> name = pathFromWide(path.c_str());
  if (!name) return false;
  const std::string text = name->string();

  // The longest leading part naming an existing folder, and whether a
  // symbolic link lies on the way to it.
  std::size_t folderEnd = 1;
  bool linked = false;
  for (std::size_t end = 1; end <= text.size(); ++end) {
    if (end < text.size() && text[end] != '/') continue;
    if (text[end - 1] == '/') continue;
    const std::string part = text.substr(0, end);
    struct stat st {};
    if (::lstat(part.c_str(), &st) != 0) break;
    const bool isLink = S_ISLNK(st.st_mode);
    if (isLink && ::stat(part.c_str(), &st) != 0) break;
    if (!S_ISDIR(st.st_mode)) break;
    linked = linked || isLink;
    folderEnd = end;
  }

  std::optional<std::string> folder = canonical(text.substr(0, folderEnd));
  if (!folder) return false;
  if (std::optional<std::string> source = pathOutsideBindMount(mounts, *folder)) {
    linked = linked || *source != *folder;
    folder = std::move(source);
  }
  if (!linked) return false;

  const std::string result = joined(*folder, text.substr(folderEnd));
  if (result.size() >= PATH_MAX) return false;
  std::optional<std::wstring> wide = wideFromPath(result);
  if (!wide) return false;
  path = std::move(*wide);
  return true;
}

std::wstring programFilesFolder() {
  return L"/opt";
}

std::wstring programFilesX86Folder() {
  return L"/usr";
}

std::wstring moduleFolder() {
  const std::string exe = executableFile();
  if (exe.empty()) return {};
  return wideFromPath(boost::filesystem::path(exe).parent_path()).value_or(std::wstring());
}

}  // namespace detail

namespace CodeTrust {

bool expandSubstitutedDrive(std::wstring& path) {
  return detail::expandLinkedPath(path, detail::currentMounts());
}

}  // namespace CodeTrust

}  // namespace Halvex::Tessaran::PAL
