// The JSON reader: the syntax the stored settings files were written for,
// into a wide property tree, without recursion.
#include <algorithm>
#include <boost/property_tree/json_parser/error.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "settings/propertytree/nesting_limit.h"
#include "settings/propertytree/property_tree_text.h"

namespace Halvex::Tessaran::PAL::detail {

namespace pt = boost::property_tree;

namespace {

// Beyond standard JSON the stored files rely on what the reader they were
// written for took: "//" and "/* */" comments wherever white space may
// stand, vertical tab and form feed as white space, adjacent string
// literals joined into one, any raw character (control characters
// included) inside strings, and \u escapes kept as the code unit they name,
// lone surrogates included. Numbers and the literals true, false and null
// are kept as their text. As with the newer reader, a bare value is a whole
// document too.
class JsonReader {
 public:
  explicit JsonReader(std::wstring_view text) : text_(text) {
    // A leading byte-order mark is skipped, as the newer reader did.
    if (!text_.empty() && text_.front() == 0xFEFF) pos_ = 1;
  }

  pt::wptree read() {
    pt::wptree root;
    skipBlank();
    if (at(L'{') || at(L'['))
      open(root);
    else
      root.data() = value();
    while (!stack_.empty()) {
      Open& top = stack_.back();
      const wchar_t close = top.array ? L']' : L'}';
      skipBlank();
      if (top.empty) {
        top.empty = false;
        if (at(close)) {
          ++pos_;
          stack_.pop_back();
        } else {
          member();
        }
      } else if (at(L',')) {
        ++pos_;
        skipBlank();
        member();
      } else if (at(close)) {
        ++pos_;
        stack_.pop_back();
      } else {
        fail(top.array ? "expected ',' or ']'" : "expected ',' or '}'");
      }
    }
    skipBlank();
    if (pos_ != text_.size()) fail("expected end of input");
    return root;
  }

 private:
  // An object or array being read; empty until its first member.
  struct Open {
    pt::wptree* node;
    bool array;
    bool empty;
  };

  bool at(wchar_t c) const { return pos_ < text_.size() && text_[pos_] == c; }
  bool startsWith(std::wstring_view s) const { return text_.substr(pos_).starts_with(s); }

  [[noreturn]] void fail(const char* message) const {
    const auto line = std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(pos_), L'\n');
    throw pt::json_parser::json_parser_error(message, "", static_cast<unsigned long>(line + 1));
  }

  static bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
  }

  // White space and comments. A "//" comment ends at the end of its line or
  // of the text; an unterminated "/*" is left in place as a syntax error.
  void skipBlank() {
    for (;;) {
      while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
      if (startsWith(L"//")) {
        const std::size_t end = text_.find(L'\n', pos_);
        pos_ = end == std::wstring_view::npos ? text_.size() : end + 1;
      } else if (startsWith(L"/*")) {
        const std::size_t end = text_.find(L"*/", pos_ + 2);
        if (end == std::wstring_view::npos) return;
        pos_ = end + 2;
      } else {
        return;
      }
    }
  }

  // Opens the object or array starting at pos_ as `node`; the bound keeps
  // the recursive destruction and writing of the tree within the stack.
  void open(pt::wptree& node) {
    if (stack_.size() >= kMaxTreeNesting) fail("nesting too deep");
    stack_.push_back({&node, text_[pos_] == L'[', true});
    ++pos_;
  }

  // One member of the innermost open object or array, at pos_ after blanks.
  // A nested object or array is opened for the main loop to go on with.
  void member() {
    std::wstring key;
    if (!stack_.back().array) {
      if (!at(L'"')) fail("expected object name");
      key = string();
      skipBlank();
      if (!at(L':')) fail("expected ':'");
      ++pos_;
      skipBlank();
    }
    pt::wptree& parent = *stack_.back().node;
    if (at(L'{') || at(L'[')) {
      open(parent.push_back({std::move(key), pt::wptree()})->second);
      return;
    }
    parent.push_back({std::move(key), pt::wptree(value())});
  }

  // A string, number or literal.
  std::wstring value() {
    std::wstring text;
    if (at(L'"'))
      text = string();
    else if (!literal(text))
      fail("expected value");
    return text;
  }

  static bool isHigh(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
  static bool isLow(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

  // One or more string literals separated by blanks, joined.
  std::wstring string() {
    std::wstring out;
    // out.size() just after an escaped high surrogate: an escaped low one
    // right behind it completes the pair into one character.
    std::size_t highEnd = std::wstring::npos;
    for (;;) {
      ++pos_;
      for (;;) {
        if (pos_ >= text_.size()) fail("expected '\"'");
        const wchar_t c = text_[pos_++];
        if (c == L'"') break;
        if (c != L'\\') {
          out += c;
        } else if (at(L'u')) {
          ++pos_;
          const wchar_t unit = hex4();
          if (isLow(unit) && highEnd == out.size()) {
            out.back() = static_cast<wchar_t>(0x10000 + ((out.back() - 0xD800) << 10) + (unit - 0xDC00));
          } else {
            out += unit;
            if (isHigh(unit)) highEnd = out.size();
          }
        } else {
          out += simpleEscape();
        }
      }
      const std::size_t after = pos_;
      skipBlank();
      if (!at(L'"')) {
        pos_ = after;
        return out;
      }
    }
  }

  wchar_t simpleEscape() {
    static constexpr std::wstring_view kFrom = L"\"\\/bfnrt", kTo = L"\"\\/\b\f\n\r\t";
    const std::size_t i = pos_ < text_.size() ? kFrom.find(text_[pos_]) : std::wstring_view::npos;
    if (i == std::wstring_view::npos) fail("invalid escape sequence");
    ++pos_;
    return kTo[i];
  }

  wchar_t hex4() {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i, ++pos_) {
      const wchar_t c = pos_ < text_.size() ? text_[pos_] : L'\0';
      unsigned digit;
      if (c >= L'0' && c <= L'9')
        digit = static_cast<unsigned>(c - L'0');
      else if (c >= L'a' && c <= L'f')
        digit = static_cast<unsigned>(c - L'a' + 10);
      else if (c >= L'A' && c <= L'F')
        digit = static_cast<unsigned>(c - L'A' + 10);
      else
        fail("invalid escape sequence");
      value = value * 16 + digit;
    }
    return static_cast<wchar_t>(value);
  }

  // A number, true, false or null, kept as its text.
  bool literal(std::wstring& value) {
    for (const wchar_t* word : {L"true", L"false", L"null"}) {
      if (startsWith(word)) {
        value = word;
        pos_ += value.size();
        return true;
      }
    }
    const std::size_t start = pos_;
    auto digits = [&] {
      const std::size_t from = pos_;
      while (pos_ < text_.size() && text_[pos_] >= L'0' && text_[pos_] <= L'9') ++pos_;
      return pos_ > from;
    };
    if (at(L'-')) ++pos_;
    if (at(L'0')) {
      ++pos_;
    } else if (!(pos_ < text_.size() && text_[pos_] >= L'1' && text_[pos_] <= L'9') || !digits()) {
      pos_ = start;
      return false;
    }
    std::size_t mark = pos_;
    if (at(L'.')) {
      ++pos_;
      if (!digits()) pos_ = mark;
    }
    mark = pos_;
    if (at(L'e') || at(L'E')) {
      ++pos_;
      if (at(L'+') || at(L'-')) ++pos_;
      if (!digits()) pos_ = mark;
    }
    value.assign(text_.substr(start, pos_ - start));
    return true;
  }

  std::wstring_view text_;
  std::size_t pos_ = 0;
  std::vector<Open> stack_;
};

}  // namespace

pt::wptree readJsonTree(std::wstring_view text) {
  return JsonReader(text).read();
}

}  // namespace Halvex::Tessaran::PAL::detail
