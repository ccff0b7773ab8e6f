// The rules of the file picker that need no dialog: reading a selection,
// remembering the folder, the structure size, centring, the name buffer.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/FilePicker.h"

namespace {

std::string TempFolder() {
  char path[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, path);
  return path;  // ends with a backslash
}

// A fresh folder under the temp folder, removed with everything in it.
class ScratchFolder {
 public:
  explicit ScratchFolder(const char* name) : m_strPath(TempFolder() + name) {
    CreateDirectoryA(m_strPath.c_str(), nullptr);
  }
  ~ScratchFolder() {
    for (const std::string& file : m_files) DeleteFileA(file.c_str());
    RemoveDirectoryA(m_strPath.c_str());
  }
  std::string AddFile(const char* name) {
    std::string file = m_strPath + "\\" + name;
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    m_files.push_back(file);
    return file;
  }
  const std::string& Path() const { return m_strPath; }

 private:
  std::string m_strPath;
  std::vector<std::string> m_files;
};

// What the dialog writes for a selection: entries, each ended by NUL, and
// an empty entry at the end.
std::vector<char> Selection(const std::vector<std::string>& entries) {
  std::vector<char> buffer;
  for (const std::string& e : entries) {
    buffer.insert(buffer.end(), e.begin(), e.end());
    buffer.push_back('\0');
  }
  buffer.push_back('\0');
  return buffer;
}

std::vector<std::string> Split(const std::vector<char>& buffer) {
  return FilePicker::SplitSelection(buffer.data(), buffer.size());
}

TEST(FilePickerSelection, SingleFileIsItsOwnFullPath) {
  ScratchFolder folder("vexorin_pick_single");
  std::string file = folder.AddFile("only.txt");
  EXPECT_EQ(Split(Selection({file})), std::vector<std::string>{file});
}

TEST(FilePickerSelection, ThreeFilesInAFolderJoinFolderAndNameWithOneBackslash) {
  ScratchFolder folder("vexorin_pick_three");
  folder.AddFile("a.txt");
  folder.AddFile("b c.txt");
  folder.AddFile("d");
  std::vector<std::string> expected = {folder.Path() + "\\a.txt", folder.Path() + "\\b c.txt",
                                       folder.Path() + "\\d"};
  EXPECT_EQ(Split(Selection({folder.Path(), "a.txt", "b c.txt", "d"})), expected);
  // The same folder given with its trailing backslash.
  EXPECT_EQ(Split(Selection({folder.Path() + "\\", "a.txt", "b c.txt", "d"})), expected);
}

TEST(FilePickerSelection, ThreeFilesInADriveRootGetNoDoubleBackslash) {
  std::vector<std::string> expected = {"C:\\one", "C:\\two.bin", "C:\\three.txt"};
  EXPECT_EQ(Split(Selection({"C:\\", "one", "two.bin", "three.txt"})), expected);
}

TEST(FilePickerSelection, EntriesThatCannotBeQueriedAreNotDropped) {
  // A picked file that vanished since: still its path, not "a folder with
  // no names" (the failed query reports every attribute bit).
  std::string gone = TempFolder() + "vexorin_no_such_file.txt";
  EXPECT_EQ(Split(Selection({gone})), std::vector<std::string>{gone});
  // Names after an entry make it the folder, queried or not.
  std::string folder = TempFolder() + "vexorin_no_such_folder";
  std::vector<std::string> expected = {folder + "\\x", folder + "\\y"};
  EXPECT_EQ(Split(Selection({folder, "x", "y"})), expected);
}

TEST(FilePickerSelection, ReadsNothingBeyondTheBuffer) {
  EXPECT_TRUE(Split(Selection({})).empty());
  // No final empty entry and no terminating zero: the last entry ends with
  // the buffer.
  const char unterminated[] = {'C', ':', '\\', '\0', 'a', '\0', 'b', 'c'};
  std::vector<std::string> expected = {"C:\\a", "C:\\bc"};
  EXPECT_EQ(FilePicker::SplitSelection(unterminated, sizeof(unterminated)), expected);
  EXPECT_TRUE(FilePicker::SplitSelection(unterminated, 0).empty());
}

// A drive letter that names no drive here.
std::string MissingDriveRoot() {
  for (char letter = 'Y'; letter > 'D'; --letter) {
    std::string root = std::string(1, letter) + ":\\";
    if (GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR) return root;
  }
  return std::string();
}

TEST(FilePickerFolder, LocalPickBecomesTheNextFolder) {
  ScratchFolder folder("vexorin_pick_folder");
  std::string file = folder.AddFile("x.txt");
  std::string lastDir = "C:\\before\\";
  EXPECT_TRUE(FilePicker::RememberFolder(file, lastDir));
  EXPECT_EQ(lastDir, folder.Path() + "\\");

  EXPECT_TRUE(FilePicker::RememberFolder("C:\\in_the_root.txt", lastDir));
  EXPECT_EQ(lastDir, "C:\\");
}

TEST(FilePickerFolder, PickWithoutAReadableVolumeKeepsTheFolder) {
  std::string lastDir = "C:\\before\\";
  EXPECT_FALSE(FilePicker::RememberFolder("\\\\server\\share\\dir\\file.txt", lastDir));
  EXPECT_EQ(lastDir, "C:\\before\\");

  std::string missing = MissingDriveRoot();
  ASSERT_FALSE(missing.empty()) << "every drive letter is in use";
  EXPECT_FALSE(FilePicker::RememberFolder(missing + "dir\\file.txt", lastDir));
  EXPECT_EQ(lastDir, "C:\\before\\");
}

TEST(FilePickerSize, ExtendedFormOnlyOnNt5) {
  // 88 and 76 bytes on 32-bit Windows, 152 and 136 on 64-bit.
  const DWORD kExtended = sizeof(void*) == 4 ? 88u : 152u;
  const DWORD kClassic = sizeof(void*) == 4 ? 76u : 136u;
  EXPECT_EQ(FilePicker::StructSizeFor(VER_PLATFORM_WIN32_NT, 5, 0), kExtended);
  EXPECT_EQ(FilePicker::StructSizeFor(VER_PLATFORM_WIN32_NT, 5, 1), kExtended);
  EXPECT_EQ(FilePicker::StructSizeFor(VER_PLATFORM_WIN32_NT, 5, 2), kExtended);
  EXPECT_EQ(FilePicker::StructSizeFor(VER_PLATFORM_WIN32_NT, 4, 0), kClassic);
  EXPECT_EQ(FilePicker::StructSizeFor(VER_PLATFORM_WIN32_NT, 6, 0), kClassic);
  EXPECT_EQ(FilePicker::StructSizeFor(VER_PLATFORM_WIN32_NT, 6, 1), kClassic);
  EXPECT_EQ(FilePicker::StructSizeFor(VER_PLATFORM_WIN32_NT, 10, 0), kClassic);
  EXPECT_EQ(FilePicker::StructSizeFor(VER_PLATFORM_WIN32_WINDOWS, 4, 0), kClassic);   // 95
  EXPECT_EQ(FilePicker::StructSizeFor(VER_PLATFORM_WIN32_WINDOWS, 4, 10), kClassic);  // 98
  EXPECT_EQ(FilePicker::StructSizeFor(VER_PLATFORM_WIN32_WINDOWS, 4, 90), kClassic);  // Me
  EXPECT_EQ(FilePicker::StructSizeFor(0, 0, 0), kClassic);  // version unknown
}

TEST(FilePickerCentre, UsesTheRightAndBottomEdgesOfTheWorkArea) {
  RECT work = {0, 0, 1280, 994};  // taskbar of 30 pixels at the bottom
  POINT p = FilePicker::CentredOrigin(work, 500, 400);
  EXPECT_EQ(p.x, 390);
  EXPECT_EQ(p.y, 297);
  // Odd remainders are cut.
  p = FilePicker::CentredOrigin(work, 501, 401);
  EXPECT_EQ(p.x, 389);
  EXPECT_EQ(p.y, 296);
  // Larger than the work area: negative, cut toward zero.
  RECT small = {0, 0, 800, 600};
  p = FilePicker::CentredOrigin(small, 1001, 603);
  EXPECT_EQ(p.x, -100);
  EXPECT_EQ(p.y, -1);
  // Left and top edges do not move the result.
  RECT shifted = {200, 100, 1280, 994};
  p = FilePicker::CentredOrigin(shifted, 500, 400);
  EXPECT_EQ(p.x, 390);
  EXPECT_EQ(p.y, 297);
}

TEST(FilePickerName, LongNameIsCutAndNothingIsWrittenPastTheBuffer) {
  const size_t kSize = 1024;
  const size_t kGuard = 64;
  std::vector<char> memory(kSize + kGuard, '#');
  std::string name(3000, 'n');
  EXPECT_EQ(FilePicker::FillNameBuffer(memory.data(), kSize, name), kSize - 1);
  EXPECT_EQ(std::string(memory.data()), std::string(kSize - 1, 'n'));
  EXPECT_EQ(memory[kSize - 1], '\0');
  EXPECT_EQ(std::string(memory.begin() + kSize, memory.end()), std::string(kGuard, '#'));

  // Exactly one byte too long, exactly fitting, short, empty.
  EXPECT_EQ(FilePicker::FillNameBuffer(memory.data(), kSize, std::string(kSize, 'm')), kSize - 1);
  EXPECT_EQ(FilePicker::FillNameBuffer(memory.data(), kSize, std::string(kSize - 1, 'm')),
            kSize - 1);
  EXPECT_EQ(memory[kSize - 1], '\0');
  EXPECT_EQ(FilePicker::FillNameBuffer(memory.data(), kSize, "C:\\x.txt"), 8u);
  EXPECT_STREQ(memory.data(), "C:\\x.txt");
  EXPECT_EQ(memory[9], '\0');  // the rest is cleared, not left from before
  EXPECT_EQ(FilePicker::FillNameBuffer(memory.data(), kSize, ""), 0u);
  EXPECT_EQ(std::string(memory.data(), kSize), std::string(kSize, '\0'));
  EXPECT_EQ(std::string(memory.begin() + kSize, memory.end()), std::string(kGuard, '#'));
}

}  // namespace
