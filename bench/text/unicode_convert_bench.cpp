// Wide text <-> UTF-8 and code page conversion against ICU and glibc iconv,
// on the same inputs in the same run.
#include <iconv.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <memory>
#include <string>
#include <vector>

#include "pal/unicode_convert.h"
#include "ratio_reporter.h"

using namespace Halvex::Tessaran::PAL::UnicodeConvert;

namespace {

struct Input {
  const char* name;
  const char* pattern;  // UTF-8, repeated to the wanted size
};

const Input kInputs[] = {
    {"ascii", "The quick brown fox jumps over the lazy dog, 0123456789. "},
    {"latin1",
     "\xC3\xA0\xC3\xA9\xC3\xA8\xC3\xAA \xC3\xA7\xC3\xA0 d\xC3\xA9j\xC3\xA0 Gr\xC3\xB6\xC3\x9F"
     "e "
     "na\xC3\xAFve \xC3\xB1"
     "and\xC3\xBA \xC3\x89t\xC3\xA9 "},
    {"cjk",
     "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97\xE7\xAC\xA6\xE7\xBC\x96\xE7\xA0\x81\xE8\xBD\xAC\xE6\x8D\xA2"
     "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88"},
    {"emoji",
     "Hello \xF0\x9F\x98\x80 world, \xC3\xA7"
     "a va? \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x8E\x89"
     "\xF0\x9F\x9A\x80 ok "},
};

const size_t kSizes[] = {32, 1 << 20};

// The pattern repeated up to `size` bytes, cut at a character boundary.
std::string makeUtf8(const char* pattern, size_t size) {
  std::string s;
  while (s.size() < size) s += pattern;
  size_t cut = size;
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  return s.substr(0, cut);
}

std::wstring toWide(const std::string& utf8) {
  std::wstring w;
  utf8ToWideChar(utf8.c_str(), w);
  return w;
}

UConverter* openIcu(const char* name) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* c = ucnv_open(name, &err);
  return U_SUCCESS(err) ? c : nullptr;
}

// Raw ICU between a converter's charset and UTF-32, into a ready buffer.
int32_t icuToUtf32(UConverter* c, const std::string& in, std::string& buffer) {
  UErrorCode err = U_ZERO_ERROR;
  return ucnv_toAlgorithmic(UCNV_UTF32_LittleEndian, c, buffer.data(), static_cast<int32_t>(buffer.size()),
                            in.data(), static_cast<int32_t>(in.size()), &err);
}

int32_t icuFromUtf32(UConverter* c, const std::wstring& in, std::string& buffer) {
  UErrorCode err = U_ZERO_ERROR;
  return ucnv_fromAlgorithmic(c, UCNV_UTF32_LittleEndian, buffer.data(), static_cast<int32_t>(buffer.size()),
                              reinterpret_cast<const char*>(in.data()), static_cast<int32_t>(in.size() * 4),
                              &err);
}

std::string benchName(const char* what, const char* who, const char* input, size_t size) {
  return std::string(what) + "/" + who + "/" + input + "/" + std::to_string(size);
}

template <typename F>
void add(const std::string& name, size_t bytes, F f) {
  benchmark::RegisterBenchmark(name.c_str(), [bytes, f](benchmark::State& state) {
    for (auto _ : state) f(state);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  });
}

// One converter per direction, opened once like a caller would keep it.
struct Peers {
  UConverter* utf8 = openIcu("UTF-8");
  iconv_t fromUtf8 = iconv_open("UTF-32LE", "UTF-8");
  iconv_t toUtf8 = iconv_open("UTF-8", "UTF-32LE");
};

size_t runIconv(iconv_t cd, const void* in, size_t inBytes, std::string& out) {
  char* src = const_cast<char*>(static_cast<const char*>(in));
  char* dst = out.data();
  size_t left = out.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  iconv(cd, &src, &inBytes, &dst, &left);
  return out.size() - left;
}

void registerUtf8(Peers& peers, std::vector<kvpal::bench::Ratio>& ratios) {
  for (const Input& in : kInputs) {
    for (size_t size : kSizes) {
      auto utf8 = std::make_shared<std::string>(makeUtf8(in.pattern, size));
      auto wide = std::make_shared<std::wstring>(toWide(*utf8));
      auto buffer = std::make_shared<std::string>(utf8->size() * 4 + 16, '\0');
      auto u16 = std::make_shared<std::u16string>(utf8->size() * 2 + 16, u'\0');
      size_t n = utf8->size();

      add(benchName("toWide", "ours", in.name, size), n, [utf8](benchmark::State&) {
        std::wstring out;
        utf8ToWideChar(utf8->c_str(), out);
        benchmark::DoNotOptimize(out.data());
      });
      add(benchName("toWide", "icu_ucnv", in.name, size), n, [&peers, utf8, buffer](benchmark::State&) {
        benchmark::DoNotOptimize(icuToUtf32(peers.utf8, *utf8, *buffer));
      });
      add(benchName("toWide", "icu_ustr", in.name, size), n, [utf8, buffer, u16](benchmark::State&) {
        UErrorCode err = U_ZERO_ERROR;
        int32_t len16 = 0, len32 = 0;
        u_strFromUTF8(u16->data(), static_cast<int32_t>(u16->size()), &len16, utf8->data(),
                      static_cast<int32_t>(utf8->size()), &err);
        u_strToUTF32(reinterpret_cast<UChar32*>(buffer->data()), static_cast<int32_t>(buffer->size() / 4),
                     &len32, u16->data(), len16, &err);
        benchmark::DoNotOptimize(len32);
      });
      add(benchName("toWide", "iconv", in.name, size), n, [&peers, utf8, buffer](benchmark::State&) {
        benchmark::DoNotOptimize(runIconv(peers.fromUtf8, utf8->data(), utf8->size(), *buffer));
      });

      add(benchName("toUtf8", "ours", in.name, size), n, [wide](benchmark::State&) {
        std::string out;
        wideCharToUtf8(wide->c_str(), out);
        benchmark::DoNotOptimize(out.data());
      });
      add(benchName("toUtf8", "icu_ucnv", in.name, size), n, [&peers, wide, buffer](benchmark::State&) {
        benchmark::DoNotOptimize(icuFromUtf32(peers.utf8, *wide, *buffer));
      });
      add(benchName("toUtf8", "icu_ustr", in.name, size), n, [wide, buffer, u16](benchmark::State&) {
        UErrorCode err = U_ZERO_ERROR;
        int32_t len16 = 0, len8 = 0;
        u_strFromUTF32(u16->data(), static_cast<int32_t>(u16->size()), &len16,
                       reinterpret_cast<const UChar32*>(wide->data()), static_cast<int32_t>(wide->size()),
                       &err);
        u_strToUTF8(buffer->data(), static_cast<int32_t>(buffer->size()), &len8, u16->data(), len16, &err);
        benchmark::DoNotOptimize(len8);
      });
      add(benchName("toUtf8", "iconv", in.name, size), n, [&peers, wide, buffer](benchmark::State&) {
        benchmark::DoNotOptimize(runIconv(peers.toUtf8, wide->data(), wide->size() * 4, *buffer));
      });

      for (const char* what : {"toWide", "toUtf8"})
        for (const char* peer : {"icu_ucnv", "icu_ustr", "iconv"})
          ratios.push_back({benchName(what, peer, in.name, size), benchName(what, "ours", in.name, size),
                            benchName(what, peer, in.name, size)});
    }
  }
}

// Code pages against raw ICU converting between UTF-32 and the code page
// directly, so both sides start from and end in the same forms.
void registerCodePages(std::vector<kvpal::bench::Ratio>& ratios) {
  struct CodePage {
    unsigned number;
    const char* icuName;
    const char* input;  // pattern of characters the code page holds
  } codePages[] = {{1252, "windows-1252", kInputs[1].pattern},
                   {932, "windows-932",
                    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3"
                    "\x83\x88 abc "}};
  for (const CodePage& cp : codePages) {
    UConverter* icu = openIcu(cp.icuName);
    for (size_t size : kSizes) {
      auto wide = std::make_shared<std::wstring>(toWide(makeUtf8(cp.input, size)));
      auto bytes = std::make_shared<std::string>();
      wideToMultibyte(code_page_id_ex(cp.number), *wide, *bytes, ToMultibyteDefault);
      auto buffer = std::make_shared<std::string>(wide->size() * 4 + 16, '\0');
      std::string label = std::to_string(cp.number);
      size_t n = bytes->size();

      add(benchName("toBytes", "ours", label.c_str(), size), n, [cp, wide](benchmark::State&) {
        std::string out;
        wideToMultibyte(code_page_id_ex(cp.number), *wide, out, ToMultibyteDefault);
        benchmark::DoNotOptimize(out.data());
      });
      add(benchName("toBytes", "icu_ucnv", label.c_str(), size), n, [icu, wide, buffer](benchmark::State&) {
        benchmark::DoNotOptimize(icuFromUtf32(icu, *wide, *buffer));
      });
      add(benchName("fromBytes", "ours", label.c_str(), size), n, [cp, bytes](benchmark::State&) {
        std::wstring out;
        multibyteToWide(code_page_id_ex(cp.number), *bytes, out, 0);
        benchmark::DoNotOptimize(out.data());
      });
      add(benchName("fromBytes", "icu_ucnv", label.c_str(), size), n,
          [icu, bytes, buffer](benchmark::State&) {
            benchmark::DoNotOptimize(icuToUtf32(icu, *bytes, *buffer));
          });
      for (const char* what : {"toBytes", "fromBytes"})
        ratios.push_back({benchName(what, "icu_ucnv", label.c_str(), size),
                          benchName(what, "ours", label.c_str(), size),
                          benchName(what, "icu_ucnv", label.c_str(), size)});
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Peers peers;
  std::vector<kvpal::bench::Ratio> ratios;
  registerUtf8(peers, ratios);
  registerCodePages(ratios);
  return kvpal::bench::runWithRatios(argc, argv, ratios);
}
