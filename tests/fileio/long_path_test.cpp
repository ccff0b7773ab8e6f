// The extended-length form of long paths, and the reader opening a file at
// the end of a path well beyond MAX_PATH.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include "fileio/LongPath.h"
#include "fileio/MappedFileReader.h"
#include "tests/common/DeepFile.h"
#include "tests/common/TempFile.h"

namespace {

// A path of exactly nLength bytes: prefix, then "x" segments (never a
// closing separator).
std::string PathOfLength(const std::string& prefix, size_t nLength) {
  std::string path = prefix;
  while (path.size() < nLength) {
    const bool bLast = path.size() + 1 == nLength;
    path += (path.size() % 10 == 9 && !bLast) ? '\\' : 'x';
  }
  return path;
}

TEST(ExtendedLengthPath, FormsAndBoundaries) {
  const std::string deep = PathOfLength("C:\\", 300);  // "C:\xxxxxx\xxxxxxxxx\..."
  const std::string deepUnc = PathOfLength("\\\\server\\share\\", 300);
  const std::string tail = deep.substr(3);
  const std::string uncTail = deepUnc.substr(15);
  // clang-format off
  const struct {
    const char* what;
    std::string in;
    std::string out;
  } cases[] = {
      {"short stays",              "C:\\dir\\file.txt",                 "C:\\dir\\file.txt"},
      {"259 bytes stays",          PathOfLength("C:\\", 259),           PathOfLength("C:\\", 259)},
      {"260 bytes converts",       PathOfLength("C:\\", 260),           "\\\\?\\" + PathOfLength("C:\\", 260)},
      {"drive path",               deep,                                "\\\\?\\" + deep},
      {"lower-case drive",         "d" + deep.substr(1),                "\\\\?\\d" + deep.substr(1)},
      {"forward slashes",          "C:/" + tail + "/f",                 "\\\\?\\C:\\" + tail + "\\f"},
      {"repeated separators",      "C:\\\\" + tail + "\\\\f",           "\\\\?\\C:\\" + tail + "\\f"},
      {"dot segments",             "C:\\.\\" + tail + "\\.\\f",         "\\\\?\\C:\\" + tail + "\\f"},
      {"dot-dot segment",          "C:\\" + tail + "\\gone\\..\\f",     "\\\\?\\C:\\" + tail + "\\f"},
      {"dot-dot above the root",   "C:\\..\\..\\" + tail,               "\\\\?\\C:\\" + tail},
      {"folder keeps its slash",   "C:\\" + tail + "\\",                "\\\\?\\C:\\" + tail + "\\"},
      {"share",                    deepUnc,                             "\\\\?\\UNC\\server\\share\\" + uncTail},
      {"dot-dot keeps the share",  "\\\\server\\share\\..\\..\\" + uncTail,
                                   "\\\\?\\UNC\\server\\share\\" + uncTail},
      {"already extended",         "\\\\?\\" + deep,                    "\\\\?\\" + deep},
      {"device namespace",         "\\\\.\\" + tail,                    "\\\\.\\" + tail},
      {"relative stays",           tail,                                tail},
      {"drive-relative stays",     "C:" + tail,                         "C:" + tail},
      {"rooted stays",             "\\" + tail,                         "\\" + tail},
      {"empty stays",              "",                                  ""},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ExtendedLengthPath(c.in), c.out);
  }
}

TEST(MappedFileReaderLongPath, ReadsAFileBeyondMaxPathInEveryForm) {
  const std::string content = Pattern(70000);
  DeepFile file(TempPath("deep"), "file.bin", content);
  ASSERT_TRUE(file.Made()) << file.Path();
  ASSERT_GT(file.Path().size(), 300u);

  const std::string path = file.Path();
  std::string slashes = path;
  for (char& c : slashes)
    if (c == '\\') c = '/';
  const size_t last = path.rfind('\\');
  const std::string detour = path.substr(0, last) + "\\.\\nowhere\\..\\" + path.substr(last + 1);
  for (const std::string& form : {path, slashes, detour, ExtendedLengthPath(path)}) {
    SCOPED_TRACE(form);
    MappedFileReader reader;
    ASSERT_TRUE(reader.Open(form.c_str(), GENERIC_READ, FILE_SHARE_READ)) << reader.LastError();
    EXPECT_EQ(reader.Size(), content.size());
    std::string read(content.size(), '\0');
    EXPECT_EQ(reader.Read(&read[0], DWORD(read.size())), content.size());
    EXPECT_EQ(read, content);
  }

  // A missing file at the same depth fails with the system's code.
  MappedFileReader reader;
  EXPECT_FALSE(reader.Open((path + ".missing").c_str(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(reader.LastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

}  // namespace
