// The walk of a folder: its order, links and loops, long paths, failures;
// the rows of a selection; what a checksum file's folder holds that its
// lines do not name, and the files that moved.

#include <gtest/gtest.h>

#include <cstring>

#include "engine/ChecksumPlan.h"
#include "engine/FolderWalk.h"
#include "engine/RowBudget.h"
#include "engine/UnlistedFiles.h"
#include "tests/common/DeepFile.h"
#include "fileio/OwnedHandle.h"
#include "tests/common/TempTree.h"

namespace {

std::vector<std::string> Names(const std::vector<WalkEntry>& entries) {
  std::vector<std::string> names;
  for (const WalkEntry& entry : entries) names.push_back(entry.strName);
  return names;
}

std::vector<std::string> Names(const FileSet& set) {
  std::vector<std::string> names;
  for (const FileRow& row : set.rows) names.push_back(row.strName);
  return names;
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesW(WideExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A junction (a mount point reparse point) from link to target, as the
// system makes one: an empty folder given the reparse data.
bool MakeJunction(const std::string& link, const std::string& target) {
  if (!::CreateDirectoryW(WideExtendedLengthPath(link).c_str(), nullptr)) return false;
  OwnedHandle folder(
      ::CreateFileW(WideExtendedLengthPath(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (folder.Get() == INVALID_HANDLE_VALUE) {
    folder.Release();
    return false;
  }
  const std::wstring substitute = L"\\??\\" + WideExtendedLengthPath(target);
  const std::wstring print = WideExtendedLengthPath(target);
  std::vector<BYTE> data(8 + 8 + (substitute.size() + print.size() + 2) * 2);
  auto put16 = [&](size_t at, size_t value) {
    data[at] = static_cast<BYTE>(value);
    data[at + 1] = static_cast<BYTE>(value >> 8);
  };
  const DWORD dwTag = 0xA0000003;  // IO_REPARSE_TAG_MOUNT_POINT
  std::memcpy(&data[0], &dwTag, 4);
  put16(4, data.size() - 8);
  put16(8, 0);
  put16(10, substitute.size() * 2);
  put16(12, (substitute.size() + 1) * 2);
  put16(14, print.size() * 2);
  std::memcpy(&data[16], substitute.c_str(), substitute.size() * 2);
  std::memcpy(&data[16 + (substitute.size() + 1) * 2], print.c_str(), print.size() * 2);
  DWORD dwReturned = 0;
  const DWORD kSetReparsePoint = 0x000900A4;  // FSCTL_SET_REPARSE_POINT
  return ::DeviceIoControl(folder.Get(), kSetReparsePoint, data.data(), DWORD(data.size()), nullptr,
                           0, &dwReturned, nullptr) != 0;
}

// A host symbolic link (Wine shows one as a link or as a folder; the walk
// must end either way).
bool MakeHostLink(const std::string& link, const std::string& target) {
  const std::string hostTarget = HostPath(target);
  const std::string hostParent = HostPath(link.substr(0, link.find_last_of('\\')));
  return !hostTarget.empty() && !hostParent.empty() &&
         StartHostCommand("/bin/ln -s \"" + hostTarget + "\" \"" + hostParent + "/" +
                          link.substr(link.find_last_of('\\') + 1) + "\"") &&
         guitest::WaitUntil([&] { return Exists(link); });
}

}  // namespace

TEST(FolderWalk, SortedLetterCaseAsideFoldersInPlace) {
  TempTree tree("walk-order");
  for (const char* pszName :
       {"b.txt", "A.txt", "a.TXT2", "sub\\z", "sub\\B", "Sub2\\x", "c", "sub\\deeper\\y",
        "sub-file", "empty-file", "\xC3\x89t\xC3\xA9", "\xC3\xA9z"})
    ASSERT_TRUE(tree.File(pszName, pszName));
  ASSERT_TRUE(tree.Folder("empty"));
  std::vector<WalkEntry> entries;
  DWORD dwError = 1;
  ASSERT_TRUE(WalkFolder(tree.Root() + "\\", &entries, &dwError));
  EXPECT_EQ(0u, dwError);
  const std::vector<std::string> expected = {
      "A.txt",          "a.TXT2", "b.txt",    "c",       "empty-file",        "sub\\B",
      "sub\\deeper\\y", "sub\\z", "sub-file", "Sub2\\x", "\xC3\x89t\xC3\xA9", "\xC3\xA9z"};
  EXPECT_EQ(expected, Names(entries));
  for (const WalkEntry& entry : entries) EXPECT_EQ(WalkEntry::Kind::kFile, entry.kind);
  EXPECT_EQ(5u, entries[0].qwSize);  // "A.txt"
  // The order the walk gives is the order of whole paths.
  for (size_t i = 1; i < expected.size(); ++i)
    EXPECT_LT(ComparePathNames(expected[i - 1], expected[i]), 0) << expected[i];
  EXPECT_EQ(0, ComparePathNames("a/b", "a\\b"));
  EXPECT_TRUE(SamePathName("SUB\\Caf\xC3\xA9", "sub/caf\xC3\x89"));
  EXPECT_FALSE(SamePathName("sub", "sub\\x"));
  EXPECT_NE(0, ComparePathNames("A", "a"));  // a tie is broken by the bytes
}

// Links back to the walked folder: a junction and a host link. Neither is
// followed, and the walk ends.
TEST(FolderWalk, LinksAreNotFollowed) {
  TempTree tree("walk-links");
  ASSERT_TRUE(tree.File("sub\\file", "x"));
  const bool bJunction = MakeJunction(tree.Path("sub\\junction"), tree.Root());
  const bool bHostLink = MakeHostLink(tree.Path("sub\\link"), tree.Root());
  if (!bJunction && !bHostLink) GTEST_SKIP() << "no folder link can be made here";
  std::vector<WalkEntry> entries;
  DWORD dwError = 0;
  ASSERT_TRUE(WalkFolder(tree.Root(), &entries, &dwError));
  std::vector<std::string> expected = {"sub\\file"};
  if (bJunction) expected.push_back("sub\\junction");
  if (bHostLink) expected.push_back("sub\\link");
  ASSERT_EQ(expected, Names(entries));
  for (size_t i = 1; i < entries.size(); ++i)
    EXPECT_EQ(WalkEntry::Kind::kLink, entries[i].kind) << entries[i].strName;
  const FileRow row = RowOfWalkEntry(entries[1], "base\\");
  EXPECT_EQ("base\\" + entries[1].strName, row.strName);
  EXPECT_EQ(RowResult::kRefused, row.result);
  EXPECT_NE(std::string::npos, row.strReason.find("not followed"));
}

TEST(FolderWalk, PathsOfAnyLength) {
  TempTree tree("walk-long");
  DeepFile deep(tree.Path("deep"), "deep.bin", "deep bytes", 400);
  ASSERT_TRUE(deep.Made());
  std::vector<WalkEntry> entries;
  DWORD dwError = 0;
  ASSERT_TRUE(WalkFolder(tree.Root(), &entries, &dwError));
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ(deep.Path(), tree.Root() + "\\" + entries[0].strName);
  EXPECT_EQ(10u, entries[0].qwSize);
  // The deep folder walked from its own long path too.
  ASSERT_TRUE(WalkFolder(deep.Folder(), &entries, &dwError));
  EXPECT_EQ(std::vector<std::string>{"deep.bin"}, Names(entries));
}

TEST(FolderWalk, FailuresStopAndMemory) {
  TempTree tree("walk-fail");
  std::vector<WalkEntry> entries;
  DWORD dwError = 0;
  EXPECT_FALSE(WalkFolder(tree.Path("absent"), &entries, &dwError));
  EXPECT_TRUE(dwError == ERROR_PATH_NOT_FOUND || dwError == ERROR_FILE_NOT_FOUND) << dwError;
  ASSERT_TRUE(tree.File("plain", "x"));
  EXPECT_FALSE(WalkFolder(tree.Path("plain"), &entries, &dwError));  // a file is no folder
  EXPECT_NE(0u, dwError);
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(tree.File("many\\f" + std::to_string(i), ""));
  std::atomic<int> stop{1};
  EXPECT_FALSE(WalkFolder(tree.Root(), &entries, &dwError, &stop));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), dwError);
  EXPECT_TRUE(entries.empty());
  g_nRowLimit = 1000;
  EXPECT_FALSE(WalkFolder(tree.Root(), &entries, &dwError));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), dwError);
  FileSet set;
  EXPECT_FALSE(AddPathsToSet(&set, {tree.Root()}, kAlgorithmMD5, &dwError));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), dwError);
  EXPECT_TRUE(set.rows.empty());
  g_nRowLimit = static_cast<size_t>(-1);
  ASSERT_TRUE(WalkFolder(tree.Root(), &entries, &dwError));
  EXPECT_EQ(3001u, entries.size());
}

// The rows of a drop or a selection: names relative to the dropped folder,
// or to the folder the paths share; later paths from elsewhere move it up.
TEST(HashSet, NamesFollowTheSharedFolder) {
  TempTree tree("hashset");
  for (const char* pszName : {"top\\a", "top\\sub\\b", "top\\sub\\c", "other\\d"})
    ASSERT_TRUE(tree.File(pszName, "x"));
  DWORD dwError = 0;
  FileSet folder;
  ASSERT_TRUE(AddPathsToSet(&folder, {tree.Path("top") + "\\"}, kAlgorithmSHA256, &dwError));
  EXPECT_EQ(tree.Path("top"), folder.strFolder);
  EXPECT_EQ((std::vector<std::string>{"a", "sub\\b", "sub\\c"}), Names(folder));
  EXPECT_EQ(kAlgorithmSHA256, folder.rows[0].nEntry);
  EXPECT_EQ(RowResult::kPending, folder.rows[0].result);
  EXPECT_EQ(1u, folder.rows[0].qwSize);

  FileSet files;
  ASSERT_TRUE(AddPathsToSet(&files, {tree.Path("top\\sub\\c"), tree.Path("top\\sub\\b")},
                            kAlgorithmMD5, &dwError));
  EXPECT_EQ(tree.Path("top\\sub"), files.strFolder);
  EXPECT_EQ((std::vector<std::string>{"c", "b"}), Names(files));  // the order given
  // A second instance hands over more paths: the folder moves up.
  ASSERT_TRUE(AddPathsToSet(&files, {tree.Path("other\\d"), tree.Path("top\\missing")},
                            kAlgorithmMD5, &dwError));
  EXPECT_EQ(tree.Root(), files.strFolder);
  EXPECT_EQ((std::vector<std::string>{"top\\sub\\c", "top\\sub\\b", "other\\d", "top\\missing"}),
            Names(files));
  EXPECT_EQ(tree.Path("top\\sub\\c"), files.FullPath(files.rows[0]));
  EXPECT_EQ(RowResult::kUnreadable, files.rows[3].result);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), files.rows[3].dwError);
  // A folder among files is named from the shared folder.
  FileSet mixed;
  ASSERT_TRUE(
      AddPathsToSet(&mixed, {tree.Path("top\\sub"), tree.Path("top\\a")}, kAlgorithmMD5, &dwError));
  EXPECT_EQ(tree.Path("top"), mixed.strFolder);
  EXPECT_EQ((std::vector<std::string>{"sub\\b", "sub\\c", "a"}), Names(mixed));
}

// "Also list": the files no line names, never the checksum file itself; a
// not-listed file with a Missing line's digest has moved.
TEST(UnlistedFiles, NotListedAndMoved) {
  TempTree tree("unlisted");
  const std::string d1(64, '1'), d2(64, '2'), d3(64, '3');
  ASSERT_TRUE(tree.File("SHA256SUMS", d1 + "  Listed.iso\n" + d2 + "  gone.iso\n" + d3 +
                                          "  also-gone.iso\n" + d1 + "  ../outside\n"));
  for (const char* pszName : {"listed.ISO", "renamed.iso", "extra\\notes.txt", "SHA256SUMS.bak"})
    ASSERT_TRUE(tree.File(pszName, "x"));
  ChecksumPlan plan;
  DWORD dwError = 0;
  ASSERT_TRUE(ReadChecksumPlan(tree.Path("SHA256SUMS"), &plan, &dwError));
  FileSet& set = plan.set;
  ASSERT_EQ(4u, set.rows.size());
  ASSERT_TRUE(AddUnlistedRows(&set, &dwError));
  EXPECT_EQ((std::vector<std::string>{"Listed.iso", "gone.iso", "also-gone.iso", "../outside",
                                      "extra\\notes.txt", "renamed.iso", "SHA256SUMS.bak"}),
            Names(set));
  for (size_t i = 4; i < set.rows.size(); ++i) {
    EXPECT_EQ(RowResult::kNotListed, set.rows[i].result);
    EXPECT_TRUE(set.rows[i].NeedsRun());
  }
  // The run's outcome: two listed files missing, the renamed one has the
  // first one's digest; notes.txt another.
  set.rows[0].result = RowResult::kMatch;
  set.rows[1].result = set.rows[2].result = RowResult::kMissing;
  set.rows[1].nEntry = set.rows[2].nEntry = kAlgorithmSHA256;
  for (size_t i = 4; i < set.rows.size(); ++i) {
    set.rows[i].nEntry = kAlgorithmSHA256;
    set.rows[i].strDigest = set.rows[i].strName == "renamed.iso" ? d2 : d3.substr(1) + "0";
  }
  MarkMoved(&set);
  EXPECT_EQ(RowResult::kMoved, set.rows[5].result);
  EXPECT_EQ("Listed as gone.iso", RowTooltip(set.rows[5]));
  EXPECT_EQ("Moved to renamed.iso", set.rows[1].strReason);
  EXPECT_EQ(RowResult::kMissing, set.rows[1].result);
  EXPECT_EQ(RowResult::kNotListed, set.rows[4].result);
  EXPECT_TRUE(set.rows[2].strReason.empty());
  // Asked again it adds nothing twice: every file is named now.
  const size_t nRows = set.rows.size();
  ASSERT_TRUE(AddUnlistedRows(&set, &dwError));
  EXPECT_EQ(nRows, set.rows.size());
}

// Two files with the same digest as two missing lines: each line moves once.
TEST(UnlistedFiles, EachMissingLineMovesOnce) {
  FileSet set;
  const std::string d(32, 'a');
  for (int i = 0; i < 3; ++i) {
    FileRow missing;
    missing.strName = "m" + std::to_string(i);
    missing.strExpected = d;
    missing.result = RowResult::kMissing;
    missing.nEntry = i == 2 ? kAlgorithmMD4 : kAlgorithmCount;  // other entry: no move
    set.rows.push_back(missing);
  }
  for (int i = 0; i < 3; ++i) {
    FileRow unlisted;
    unlisted.strName = "n" + std::to_string(i);
    unlisted.strDigest = d;
    unlisted.nEntry = kAlgorithmMD5;
    unlisted.result = RowResult::kNotListed;
    set.rows.push_back(unlisted);
  }
  MarkMoved(&set);
  EXPECT_EQ("m0", set.rows[3].strReason);
  EXPECT_EQ("m1", set.rows[4].strReason);
  EXPECT_EQ(RowResult::kNotListed, set.rows[5].result);
  EXPECT_EQ("Moved to n0", set.rows[0].strReason);
  EXPECT_TRUE(set.rows[2].strReason.empty());
}
