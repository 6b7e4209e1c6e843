// Loading and saving property trees: JSON as UTF-8 files and strings, XML
// files as raw bytes.
//
// Where Linux differs from what a Windows caller expects:
// - Paths are native byte strings (boost::filesystem::path holds a narrow
//   string on POSIX); name non-ASCII files with UTF-8 paths. The wide XML
//   path is converted to UTF-8.
// - wchar_t is UTF-32, so one wide character holds one code point. Characters
//   above U+FFFF are written as \uD8xx\uDCxx escape pairs, the bytes a 16-bit
//   wchar_t build writes; lone surrogates and values above U+10FFFF in a tree
//   are written as U+FFFD so that the file stays readable.
// - Ill-formed UTF-8 (overlong forms, encoded surrogates, values above
//   U+10FFFF, cut sequences) is bad content: the readers fail as they do for a
//   syntax error, instead of parsing the text up to the bad bytes.
// - Documents nested deeper than 512 arrays/objects (JSON) or elements (XML)
//   are bad content rather than a stack overflow.
// - A path naming a directory opens on Linux but cannot be read: the JSON
//   reader returns null silently, fromXml throws "read error". A FIFO or
//   device is not read at all (it could block for ever): null, or
//   "cannot open file".
// - The JSON reader takes what the stored files were written for: "//" and
//   "/* */" comments, vertical tab and form feed as white space, adjacent
//   strings joined, raw control characters in strings, and \u escapes of
//   lone surrogates kept as that code unit. Like the newer Boost reader it
//   also skips a leading byte-order mark and accepts a bare value (string,
//   number, literal) as the whole document.
// - toJsonFileWithUtf8Encoding writes a new file beside the target and
//   renames it over the target only once the whole text is written, so a
//   tree that cannot be written leaves the old file as it was instead of
//   truncated. The new file keeps the old one's permissions; a symbolic link
//   is followed, and a target that is no regular file (a device) is written
//   in place.
#pragma once

#include <boost/filesystem/path.hpp>
#include <boost/property_tree/ptree.hpp>
#include <string>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::PropertyTree {

// Returns a tree the caller deletes, or null when the file cannot be read
// (silent) or holds malformed JSON (one line on standard error: the parser's
// message, " path: " and the path).
PAL_EXPORT boost::property_tree::wptree* fromJsonFileWithUtf8Encoding(const boost::filesystem::path& file);

// Returns a tree the caller deletes, or null for malformed JSON (silent).
PAL_EXPORT boost::property_tree::wptree* fromJsonStringWithUtf8Encoding(const std::string& utf8Text);

// Pretty-printed JSON in UTF-8 without byte-order mark. False when the file
// cannot be opened (silent), or when the tree cannot be represented in JSON
// or the write fails (message on standard error); the file has been
// truncated before the tree is checked.
PAL_EXPORT bool toJsonFileWithUtf8Encoding(const boost::filesystem::path& file,
                                           const boost::property_tree::wptree& tree);

// Reads the XML file with no parser options; the strings hold the file's
// bytes. Throws boost::property_tree::xml_parser_error ("cannot open file",
// read and parse errors).
PAL_EXPORT boost::property_tree::ptree fromXml(const wchar_t* file);

}  // namespace Halvex::Tessaran::PAL::PropertyTree
