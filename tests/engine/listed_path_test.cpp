// The paths a downloaded checksum file names: every rule that refuses one,
// next to the near misses that stay files under the folder.

#include <gtest/gtest.h>

#include "engine/ListedPath.h"

namespace {

const char kFolder[] = "C:\\dl";

struct Case {
  const char* pszName;
  const char* pszRule;  // a word of the rule; null: a file under the folder
  const char* pszResolved;
};

}  // namespace

TEST(ListedPath, EachRuleAndItsNearMisses) {
  // clang-format off
  const Case kCases[] = {
    // Files under the folder, as publishers and tools write them.
    {"file.iso",                 nullptr, "file.iso"},
    {"./file.iso",               nullptr, "file.iso"},
    {".\\file.iso",              nullptr, "file.iso"},
    {"sub/dir/file.iso",         nullptr, "sub\\dir\\file.iso"},
    {"sub\\dir/file.iso",        nullptr, "sub\\dir\\file.iso"},
    {"sub/../file.iso",          nullptr, "file.iso"},
    {"sub/./x/../file",          nullptr, "sub\\file"},
    {".hidden",                  nullptr, ".hidden"},
    {"..file",                   nullptr, "..file"},
    {"a..b",                     nullptr, "a..b"},
    {" lead space",              nullptr, " lead space"},
    {"CONSOLE.txt",              nullptr, "CONSOLE.txt"},
    {"COM10",                    nullptr, "COM10"},
    {"LPT",                      nullptr, "LPT"},
    {"xCON",                     nullptr, "xCON"},
    {"NULL.bin",                 nullptr, "NULL.bin"},
    {"COM\xC2\xB4",              nullptr, "COM\xC2\xB4"},  // an acute accent, no digit
    {"caf\xC3\xA9.txt",          nullptr, "caf\xC3\xA9.txt"},
    {"\xF0\x9F\x99\x82",         nullptr, "\xF0\x9F\x99\x82"},
    // Absolute paths and drives.
    {"/etc/passwd",              "absolute", nullptr},
    {"\\Windows\\win.ini",       "absolute", nullptr},
    {"C:\\Windows\\win.ini",     "drive", nullptr},
    {"c:/x",                     "drive", nullptr},
    {"C:x",                      "drive", nullptr},
    {"Z:",                       "drive", nullptr},
    // Networks and devices by path.
    {"\\\\server\\share\\x",     "network", nullptr},
    {"//server/share/x",         "network", nullptr},
    {"\\/server/x",              "network", nullptr},
    {"\\\\?\\C:\\x",             "device path", nullptr},
    {"\\\\.\\PhysicalDrive0",    "device path", nullptr},
    {"//./pipe/x",               "device path", nullptr},
    {"//?/UNC/server/x",         "device path", nullptr},
    // Device names, any case, with an extension, in any segment, with the
    // dots and spaces the system strips.
    {"CON",                      "device name", nullptr},
    {"con",                      "device name", nullptr},
    {"nul.txt",                  "device name", nullptr},
    {"NUL.tar.gz",               "device name", nullptr},
    {"AUX",                      "device name", nullptr},
    {"prn.log",                  "device name", nullptr},
    {"COM1",                     "device name", nullptr},
    {"com9.iso",                 "device name", nullptr},
    {"COM0",                     "device name", nullptr},
    {"LPT1",                     "device name", nullptr},
    {"lpt9.x",                   "device name", nullptr},
    {"COM\xC2\xB9",              "device name", nullptr},
    {"LPT\xC2\xB3.txt",          "device name", nullptr},
    {"CONIN$",                   "device name", nullptr},
    {"conout$.txt",              "device name", nullptr},
    {"CLOCK$",                   "device name", nullptr},
    {"sub/CON/x",                "device name", nullptr},
    {"sub/nul",                  "device name", nullptr},
    {"CON .txt",                 "device name", nullptr},
    {"NUL  .x.y",                "device name", nullptr},
    {"CON.",                     "dot or a space", nullptr},
    {"CON ",                     "dot or a space", nullptr},
    // Streams and other colons.
    {"file.iso:hidden",          "stream", nullptr},
    {"file.iso::$DATA",          "stream", nullptr},
    {"sub/a:b/x",                "stream", nullptr},
    // Leaving the folder.
    {"..",                       "leaves", nullptr},
    {"../x",                     "leaves", nullptr},
    {"..\\x",                    "leaves", nullptr},
    {"a/../../x",                "leaves", nullptr},
    {"./../x",                   "leaves", nullptr},
    {"a/b/../../../x",           "leaves", nullptr},
    // What the system would open under another name.
    {"file.",                    "dot or a space", nullptr},
    {"file ",                    "dot or a space", nullptr},
    {"sub./x",                   "dot or a space", nullptr},
    {"sub /x",                   "dot or a space", nullptr},
    {"...",                      "dot or a space", nullptr},
    {"a//b",                     "empty segment", nullptr},
    {"a\\\\b",                   "empty segment", nullptr},
    {"dir/",                     "empty segment", nullptr},
    {".",                        "folder itself", nullptr},
    {"./.",                      "folder itself", nullptr},
    {"a/..",                     "folder itself", nullptr},
    {"",                         "empty name", nullptr},
    {"a*",                       "< > \" | ? or *", nullptr},
    {"a?b",                      "< > \" | ? or *", nullptr},
    {"a<b",                      "< > \" | ? or *", nullptr},
    {"a>b",                      "< > \" | ? or *", nullptr},
    {"a|b",                      "< > \" | ? or *", nullptr},
    {"a\"b",                     "< > \" | ? or *", nullptr},
    // Bytes no file name holds.
    {"a\tb",                     "control character", nullptr},
    {"a\rb",                     "control character", nullptr},
    {"a\x7F",                    "control character", nullptr},
    {"a\x1B[2J",                 "control character", nullptr},
    {"\xFF\xFE",                 "UTF-8", nullptr},
    {"caf\xE9",                  "UTF-8", nullptr},
    {"\xC0\xAF",                 "UTF-8", nullptr},  // an overlong "/"
    {"\xED\xA0\x80",             "UTF-8", nullptr},  // a surrogate
    {"\xF4\x90\x80\x80",         "UTF-8", nullptr},  // past U+10FFFF
    {"\xE2\x82",                 "UTF-8", nullptr},  // cut short
  };
  // clang-format on
  for (const Case& c : kCases) {
    const ListedPath listed = ResolveListedPath(kFolder, c.pszName);
    if (c.pszRule == nullptr) {
      EXPECT_FALSE(listed.bRefused) << c.pszName << ": " << listed.strRule;
      EXPECT_EQ(c.pszResolved, listed.strName) << c.pszName;
      EXPECT_EQ(std::string(kFolder) + "\\" + c.pszResolved, listed.strFullPath) << c.pszName;
    } else {
      EXPECT_TRUE(listed.bRefused) << c.pszName << " resolved to " << listed.strFullPath;
      EXPECT_NE(std::string::npos, listed.strRule.find(c.pszRule))
          << c.pszName << ": " << listed.strRule;
      EXPECT_TRUE(listed.strFullPath.empty()) << c.pszName;
    }
  }
  // A NUL inside the name (the bytes after it must not be dropped).
  EXPECT_TRUE(ResolveListedPath(kFolder, std::string("ok\0/../../x", 11)).bRefused);
}

TEST(ListedPath, TheFolderMayEndInASeparator) {
  EXPECT_EQ("C:\\dl\\a\\b", ResolveListedPath("C:\\dl\\", "a/b").strFullPath);
  EXPECT_EQ("C:\\dl\\a\\b", ResolveListedPath("C:\\dl/", "a\\b").strFullPath);
}

TEST(ListedPath, ShownNames) {
  EXPECT_EQ("plain", ShownName("plain"));
  EXPECT_EQ("caf\xC3\xA9", ShownName("caf\xC3\xA9"));
  const std::string kReplaced = "a\xEF\xBF\xBD" + std::string("b");
  EXPECT_EQ(kReplaced, ShownName("a\nb"));
  EXPECT_EQ(kReplaced, ShownName(std::string("a\0b", 3)));
  EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD", ShownName("\xFF\xFE"));
  EXPECT_EQ("abc...", ShownName("abcdef", 3));
  // Cut between characters, never inside one.
  EXPECT_EQ("\xC3\xA9...", ShownName("\xC3\xA9\xC3\xA9", 3));
  EXPECT_EQ(203u, ShownName(std::string(100000, 'x')).size());
}
