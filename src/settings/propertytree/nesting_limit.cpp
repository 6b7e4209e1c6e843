// Nesting-depth pre-scan for XML text.
#include "settings/propertytree/nesting_limit.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// Position just past the first occurrence of end at or after from, or npos.
std::size_t skipPast(std::string_view text, std::size_t from, std::string_view end) {
  const std::size_t at = text.find(end, from);
  return at == std::string_view::npos ? at : at + end.size();
}

// Position just past the '>' closing a DOCTYPE, whose internal subset in
// brackets may hold '>' characters.
std::size_t skipDoctype(std::string_view text, std::size_t from) {
  std::size_t brackets = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == '[') {
      ++brackets;
    } else if (text[i] == ']' && brackets > 0) {
      --brackets;
    } else if (text[i] == '>' && brackets == 0) {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameChar(char c) {
  return c != '\0' && !isSpace(c) && c != '/' && c != '>' && c != '?';
}

bool isAttributeNameChar(char c) {
  return isNameChar(c) && c != '<' && c != '=' && c != '!';
}

std::size_t skipSpace(std::string_view text, std::size_t i) {
  while (i < text.size() && isSpace(text[i])) ++i;
  return i;
}

// Position just past the '>' of the start tag whose name begins at `from`,
// or npos where the parser rejects the tag. Quotes delimit only attribute
// values: in a name a quote is an ordinary character.
std::size_t startTagEnd(std::string_view text, std::size_t from) {
  std::size_t i = from;
  while (i < text.size() && isNameChar(text[i])) ++i;
  if (i == from) return std::string_view::npos;
  i = skipSpace(text, i);
  while (i < text.size() && isAttributeNameChar(text[i])) {
    while (i < text.size() && isAttributeNameChar(text[i])) ++i;
    i = skipSpace(text, i);
    if (i >= text.size() || text[i] != '=') return std::string_view::npos;
    i = skipSpace(text, i + 1);
    if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return std::string_view::npos;
    const std::size_t close = text.find(text[i], i + 1);
    if (close == std::string_view::npos) return std::string_view::npos;
    i = skipSpace(text, close + 1);
  }
  if (i < text.size() && text[i] == '>') return i + 1;
  if (i + 1 < text.size() && text[i] == '/' && text[i + 1] == '>') return i + 2;
  return std::string_view::npos;
}

}  // namespace

bool xmlNestingWithinLimit(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::size_t depth = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '<') {
      ++i;
      continue;
    }
    const std::string_view rest = text.substr(i);
    if (rest.starts_with("<!--")) {
      i = skipPast(text, i + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      i = skipPast(text, i + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      i = skipPast(text, i + 2, "?>");
    } else if (rest.starts_with("<!DOCTYPE") && rest.size() > 9 && isSpace(rest[9])) {
      i = skipDoctype(text, i + 9);
    } else if (rest.starts_with("<!")) {
      i = skipPast(text, i + 2, ">");
    } else if (rest.starts_with("</")) {
      if (depth > 0) --depth;
      i = skipPast(text, i + 2, ">");
    } else {
      const std::size_t end = startTagEnd(text, i + 1);
      if (end == std::string_view::npos) return true;  // the parser fails here
      const bool selfClosing = text[end - 2] == '/';
      if (!selfClosing && ++depth > kMaxTreeNesting) return false;
      i = end;
    }
  }
  return true;
}

}  // namespace Halvex::Tessaran::PAL::detail
