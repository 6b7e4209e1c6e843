// Nesting-depth pre-scan for JSON and XML text.
#include "settings/propertytree/nesting_limit.h"

namespace Halvex::Tessaran::PAL::detail {

bool jsonNestingWithinLimit(std::wstring_view text) {
  std::size_t depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (inString) {
      if (c == L'\\') {
        ++i;
      } else if (c == L'"') {
        inString = false;
      }
    } else if (c == L'"') {
      inString = true;
    } else if (c == L'[' || c == L'{') {
      if (++depth > kMaxTreeNesting) return false;
    } else if ((c == L']' || c == L'}') && depth > 0) {
      --depth;
    }
  }
  return true;
}

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

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

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
      // A start tag: find its '>' outside quoted attribute values.
      char quote = 0;
      std::size_t k = i + 1;
      for (; k < text.size(); ++k) {
        const char c = text[k];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      const bool selfClosing = k < text.size() && text[k - 1] == '/';
      if (!selfClosing && ++depth > kMaxTreeNesting) return false;
      i = k < text.size() ? k + 1 : k;
    }
  }
  return true;
}

}  // namespace Halvex::Tessaran::PAL::detail
