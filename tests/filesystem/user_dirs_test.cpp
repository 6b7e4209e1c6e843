// Reading XDG_DOCUMENTS_DIR from the text of user-dirs.dirs.
#include "filesystem/user_dirs.h"

#include <gtest/gtest.h>

namespace {

using Halvex::Tessaran::PAL::detail::documentsDirFromUserDirs;

TEST(UserDirs, DocumentsDir) {
  struct Case {
    const char* text;
    const char* expected;  // null: not set
  } cases[] = {
      {"XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", "/home/u/Documents"},
      {"XDG_DOCUMENTS_DIR=\"/data/docs\"", "/data/docs"},
      {"  XDG_DOCUMENTS_DIR=\"$HOME\"\n", "/home/u"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n", "/home/u/My \"Docs\""},
      {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/D\"\nXDG_MUSIC_DIR=\"$HOME/M\"\n",
       "/home/u/D"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/first\"\nXDG_DOCUMENTS_DIR=\"$HOME/second\"\n", "/home/u/second"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/kept\"\nXDG_DOCUMENTS_DIR=\"relative\"\n", "/home/u/kept"},
      {"# XDG_DOCUMENTS_DIR=\"/commented\"\n", nullptr},
      {"XDG_DOCUMENTS_DIR=\"relative/docs\"\n", nullptr},
      {"XDG_DOCUMENTS_DIR=\"$HOMEX/docs\"\n", nullptr},
      {"XDG_DOCUMENTS_DIRS=\"/x\"\n", nullptr},
      {"XDG_DOCUMENTS_DIR=\"/unterminated\n", nullptr},
      {"XDG_DOCUMENTS_DIR=/unquoted\n", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<std::string> dir = documentsDirFromUserDirs(c.text, "/home/u");
    if (c.expected) {
      ASSERT_TRUE(dir.has_value());
      EXPECT_EQ(*dir, c.expected);
    } else {
      EXPECT_FALSE(dir.has_value()) << *dir;
    }
  }
}

}  // namespace
