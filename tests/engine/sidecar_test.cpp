// The digest beside a single file: which file is asked first, which lines
// name the file, and files that are skipped.

#include <gtest/gtest.h>

#include "engine/Sidecar.h"
#include "tests/common/TempTree.h"

namespace {

const std::string k64(64, 'a'), k128(128, 'b'), k32(32, 'c');

}  // namespace

TEST(Sidecar, TheFirstFileThatNamesIt) {
  TempTree tree("sidecar");
  ASSERT_TRUE(tree.File("X.iso", "data"));
  const std::string x = tree.Path("X.iso");
  EXPECT_FALSE(FindSidecarLine(x).bFound);

  // The folder's sums: only a line that names X itself.
  ASSERT_TRUE(tree.File("MD5SUMS", k32 + "  sub/X.iso\n" + k32 + "  ./x.ISO\n"));
  SidecarLine found = FindSidecarLine(x);
  ASSERT_TRUE(found.bFound);
  EXPECT_EQ(k32 + "  ./x.ISO", found.strLine);
  EXPECT_EQ(tree.Path("MD5SUMS"), found.strSource);
  EXPECT_EQ(2u, found.nLine);
  ASSERT_TRUE(tree.File("SHA512SUMS", "SHA512 (X.iso) = " + k128 + "\r\n"));
  EXPECT_EQ(tree.Path("SHA512SUMS"), FindSidecarLine(x).strSource);  // before MD5SUMS
  EXPECT_EQ("SHA512 (X.iso) = " + k128, FindSidecarLine(x).strLine);

  // A file beside X comes before any sums; a bare digest there names X.
  ASSERT_TRUE(tree.File("X.iso.b2", k128 + "\n"));
  EXPECT_EQ(tree.Path("X.iso.b2"), FindSidecarLine(x).strSource);
  EXPECT_EQ(k128, FindSidecarLine(x).strLine);
  ASSERT_TRUE(tree.File("X.iso.md5", "# none here\n" + k32 + "  other.iso\n"));  // names another
  EXPECT_EQ(tree.Path("X.iso.b2"), FindSidecarLine(x).strSource);
  ASSERT_TRUE(tree.File("X.iso.sfv", "; crc\nX.iso 1234ABCD\n"));
  EXPECT_EQ(tree.Path("X.iso.sfv"), FindSidecarLine(x).strSource);
  EXPECT_EQ("X.iso 1234ABCD", FindSidecarLine(x).strLine);
  // UTF-16 with its mark is read as text.
  std::string utf16 = "\xFF\xFE";
  for (char c : k64 + " *X.iso\r\n") utf16 += std::string(1, c) + '\0';
  ASSERT_TRUE(tree.File("X.iso.sha256", utf16));
  found = FindSidecarLine(x);
  EXPECT_EQ(tree.Path("X.iso.sha256"), found.strSource);
  EXPECT_EQ(k64 + " *X.iso", found.strLine);
  // A binary file of that name is skipped.
  ASSERT_TRUE(tree.File("X.iso.sha256", std::string("MZ\0\0", 4) + k64 + "  X.iso\n"));
  EXPECT_EQ(tree.Path("X.iso.sfv"), FindSidecarLine(x).strSource);
  // A hostile name in the sums never names X.
  ASSERT_TRUE(tree.File(
      "SHA256SUMS", k64 + "  ../" + tree.Root().substr(tree.Root().rfind('\\') + 1) + "/X.iso\n"));
  TempTree::RemoveAll(tree.Path("X.iso.sfv"));
  TempTree::RemoveAll(tree.Path("X.iso.sha256"));
  TempTree::RemoveAll(tree.Path("X.iso.b2"));
  EXPECT_EQ(tree.Path("SHA512SUMS"), FindSidecarLine(x).strSource);
}
