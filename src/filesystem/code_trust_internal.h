// The pieces of the trusted-folder list and of the linked-folder expansion,
// apart from the running process so they can be checked with any folders and
// mount table.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filesystem/mount_table.h"

namespace Halvex::Tessaran::PAL::detail {

// Whether `path` is `folder` or inside it, compared by whole path elements.
bool liesUnder(std::wstring_view path, std::wstring_view folder);

// The trusted-folder list for these folders, in order: program files, the
// module folder unless under program files, its expansion when that differs
// and is not under program files, the 32-bit program files when not empty.
std::vector<std::wstring> trustedPathsFor(const std::wstring& programFiles, const std::wstring& moduleFolder,
                                          const std::wstring& programFilesX86);

// `canonicalPath` (absolute, links resolved) named through the file system's
// own mount when it lies under a bind mount of a folder that mount shows;
// nothing otherwise.
std::optional<std::string> pathOutsideBindMount(const std::vector<MountEntry>& mounts,
                                                const std::string& canonicalPath);

// expandSubstitutedDrive against the given mount table.
bool expandLinkedPath(std::wstring& path, const std::vector<MountEntry>& mounts);

// The three folders of this system.
std::wstring programFilesFolder();
std::wstring programFilesX86Folder();
std::wstring moduleFolder();

}  // namespace Halvex::Tessaran::PAL::detail
