// The process-wide locales under one locale environment, named by
// KVPAL_LOCALE_ENV; CTest runs these cases once per environment, each case in
// a fresh process. Each case sets the environment's variables before its
// first locale query, as if the process had started with them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "pal/locale.h"
#include "support/environment.h"
#include "text/locale_charset_cache.h"
#include "text/nls_table.h"

namespace {

using namespace Halvex::Tessaran::PAL;
namespace detail = Halvex::Tessaran::PAL::detail;

struct Environment {
  const char* name;
  const char* lcAll;
  const char* lcCtype;
  const char* lcNumeric;
  const char* lang;
  const wchar_t* systemFolder;
  int systemLcid;
  int userLcid;
  unsigned ansiCodePage;
  int codePageId;
  bool specialFrenchUpperCase;
  int systemCharset;
};

// LC_ALL, LC_CTYPE, LC_NUMERIC and LANG (null: unset), then the answers.
constexpr Environment kEnvironments[] = {
    {"en-US", nullptr, nullptr, nullptr, "en_US.UTF-8", L"en-US", 0x0409, 0x0409, 1252, 30, false, 0},
    {"ja-JP", nullptr, nullptr, nullptr, "ja_JP.UTF-8", L"ja-JP", 0x0411, 0x0411, 932, 38, false, 128},
    {"fr-CA", nullptr, nullptr, nullptr, "fr_CA.UTF-8", L"fr-CA", 0x0C0C, 0x0C0C, 1252, 30, false, 0},
    {"de-DE", nullptr, nullptr, "fr_BE.UTF-8", "de_DE.UTF-8", L"de-DE", 0x0407, 0x080C, 1252, 30, true, 0},
    {"lc-all", "sr_RS@latin", "ja_JP.UTF-8", "fr_FR.UTF-8", "de_DE.UTF-8", L"sr-RS", 0x241A, 0x241A, 1250, 28,
     false, 238},
    {"lc-ctype", nullptr, "ja_JP.UTF-8", nullptr, "fr_FR.UTF-8", L"ja-JP", 0x0411, 0x040C, 932, 38, true,
     128},
    {"posix-c", nullptr, nullptr, nullptr, "C", L"en-US", 0x0409, 0x0409, 1252, 30, false, 0},
    {"unset", "", nullptr, "", nullptr, L"en-US", 0x0409, 0x0409, 1252, 30, false, 0},
    {"hi-IN", nullptr, nullptr, nullptr, "hi_IN.UTF-8", L"hi-IN", 0x0439, 0x0439, 1252, 30, false, 263},
};

using kvpal::test::setVariable;

// Sets the named environment's variables; call before any locale query.
const Environment& environment() {
  const char* name = std::getenv("KVPAL_LOCALE_ENV");
  for (const Environment& e : kEnvironments) {
    if (name && name == std::string(e.name)) {
      setVariable("LC_ALL", e.lcAll);
      setVariable("LC_CTYPE", e.lcCtype);
      setVariable("LC_NUMERIC", e.lcNumeric);
      setVariable("LANG", e.lang);
      return e;
    }
  }
  ADD_FAILURE() << "KVPAL_LOCALE_ENV names no known environment";
  return kEnvironments[0];
}

int lcidOf(const KvLocale& locale) {
  return KvLocaleService::getWinLCIDFromLocaleClass(locale);
}

TEST(ProcessLocales, FollowTheEnvironment) {
  const Environment& env = environment();
  const KvLocale& system = Locale::getSystemLocale();
  EXPECT_EQ(lcidOf(system), env.systemLcid);
  EXPECT_TRUE(system.isValid());
  EXPECT_EQ(Locale::getResourceFolderNameFromLocale(system), env.systemFolder);
  EXPECT_TRUE(KvLocale(nullptr, nullptr) == system);

  EXPECT_EQ(lcidOf(Locale::getUserDefaultLocale()), env.userLcid);
  EXPECT_EQ(Locale::getCurrentInputLanguage(), env.userLcid & 0xFFFF);
  EXPECT_EQ(Locale::isSpecialFrenchUpperCaseLocale(), env.specialFrenchUpperCase);
  EXPECT_EQ(Locale::getResourceFolderNameFromLocale(Locale::getProductDefaultLocale()), L"en-US");

  code_page_id_ex codePage = Locale::getSystemCodePageIdEx();
  EXPECT_EQ(static_cast<unsigned>(codePage), env.ansiCodePage);
  EXPECT_EQ(static_cast<int>(static_cast<code_page_id>(codePage)), env.codePageId);
  EXPECT_EQ(Locale::getCharsetFromLocale(system), env.systemCharset);
}

// Every thread asks for everything at once, first use included; the charset
// cache fills past its capacity on the way.
TEST(ProcessLocales, BuiltTogetherFromSeveralThreads) {
  const Environment& env = environment();
  constexpr int kThreads = 8;
  struct Seen {
    const KvLocale* system = nullptr;
    const KvLocale* user = nullptr;
    const KvLocale* product = nullptr;
    bool specialFrench = false;
    unsigned codePage = 0;
    std::vector<int> charsets;
  };
  std::vector<Seen> seen(kThreads);
  auto locales = detail::nlsLocales();
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      Seen& s = seen[t];
      s.system = &Locale::getSystemLocale();
      s.user = &Locale::getUserDefaultLocale();
      s.product = &Locale::getProductDefaultLocale();
      s.specialFrench = Locale::isSpecialFrenchUpperCaseLocale();
      s.codePage = Locale::getSystemCodePageIdEx();
      // Threads walk the table from different starting points so that they
      // append different pairs at the same time.
      s.charsets.resize(locales.size());
      for (size_t i = 0; i < locales.size(); ++i) {
        size_t k = (i + t * locales.size() / kThreads) % locales.size();
        s.charsets[k] = Locale::getCharsetFromLocale(KvLocale(static_cast<int>(locales[k].lcid)));
      }
    });
  }
  for (std::thread& th : threads) th.join();

  for (const Seen& s : seen) {
    EXPECT_EQ(s.system, seen[0].system);
    EXPECT_EQ(s.user, seen[0].user);
    EXPECT_EQ(s.product, seen[0].product);
    EXPECT_EQ(s.specialFrench, env.specialFrenchUpperCase);
    EXPECT_EQ(s.codePage, env.ansiCodePage);
    for (size_t k = 0; k < locales.size(); ++k) {
      std::optional<Charset> cached = std::nullopt;
      for (const detail::CharsetPair& p : detail::charsetCachePreload())
        if (p.lcid == locales[k].lcid) cached = p.charset;
      int expected = cached ? *cached : locales[k].ansiCodePage == 0 ? 1 : locales[k].charset;
      EXPECT_EQ(s.charsets[k], expected) << "LCID 0x" << std::hex << locales[k].lcid;
    }
  }
  EXPECT_EQ(lcidOf(*seen[0].system), env.systemLcid);
  EXPECT_EQ(lcidOf(*seen[0].user), env.userLcid);
  EXPECT_EQ(detail::charsetCacheSize(), detail::kCharsetCacheCapacity);
}

}  // namespace
