// Readers of the synchronisation clients' own files, kept apart from the
// file system so that hostile bytes can be fed to them directly.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

// One top-level member of a Dropbox info file. `wellFormed` is false when
// the member is no object or its "path" or "subscription_type" is no string.
struct DropboxAccount {
  bool wellFormed = false;
  std::wstring path;
  std::wstring subscriptionType;
};

// The accounts in ascending member-name order; nothing when the text is no
// JSON object.
std::optional<std::vector<DropboxAccount>> parseDropboxInfo(std::string_view json);

// The first line of a text file: at most 259 bytes, up to a line feed. Text
// that is not UTF-8 reads as empty; `hadText` tells such a line from an
// empty one.
struct FirstLine {
  bool hadText = false;
  std::wstring text;
};
FirstLine firstLineOf(std::string_view bytes);

// The strings of multi-string value data (UTF-16LE, each ended by a zero, a
// final empty string ending the list); data ending early ends the last one.
std::vector<std::wstring> multiStrings(const std::vector<unsigned char>& data);

std::wstring lowerCased(std::wstring text);
// Whether `path` lies in `folder`: the lower-cased folder occurs anywhere in
// the lower-cased path. An empty folder lies nowhere.
bool inFolder(std::wstring_view path, std::wstring_view folder);

}  // namespace Halvex::Tessaran::PAL::detail
