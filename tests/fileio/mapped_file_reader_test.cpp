#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fileio/MappedFileReader.h"
#include "tests/common/MapViewFailure.h"
#include "tests/common/TempFile.h"

namespace {

DWORD Granularity() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

TEST(MappedFileReader, WorkedExample) {
  ASSERT_EQ(65536u, Granularity());
  const std::string data = Pattern(3000000);
  TempFile file("worked.bin", data);
  MappedFileReader reader;
  ASSERT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(3000000u, reader.Size());
  EXPECT_EQ(0u, reader.LastError());

  struct Row {
    ULONGLONG position, offset;
    DWORD length, cursor, result;
  };
  const Row rows[] = {{0, 0, 1000000, 0, 1000000},
                      {1000000, 983040, 1016960, 16960, 1000000},
                      {2000000, 1966080, 1033920, 33920, 1000000},
                      {3000000, 2949120, 50880, 50880, 0}};
  std::vector<char> buffer(1000000);
  for (const Row& row : rows) {
    ASSERT_EQ(row.position, reader.Position());
    const DWORD n = reader.Read(buffer.data(), 1000000);
    EXPECT_EQ(row.result, n) << "at " << row.position;
    EXPECT_EQ(row.offset, reader.ViewOffset()) << "at " << row.position;
    EXPECT_EQ(row.length, reader.ViewLength()) << "at " << row.position;
    EXPECT_EQ(row.cursor, DWORD(reader.Cursor() - reader.View())) << "at " << row.position;
    EXPECT_EQ(0, std::memcmp(buffer.data(), data.data() + row.position, n));
  }
  EXPECT_EQ(3000000u, reader.Position());
  EXPECT_TRUE(reader.Close());
  EXPECT_EQ(0u, reader.Size());
  EXPECT_EQ(0u, reader.Position());
  EXPECT_TRUE(file.IsFree());
}

TEST(MappedFileReader, RemainderAndGranuleMultiple) {
  const std::string data = Pattern(2500000);
  TempFile file("remainder.bin", data);
  MappedFileReader reader;
  ASSERT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
  std::vector<char> buffer(1048576);
  std::string read;
  for (DWORD expected : {1048576u, 1048576u, 402848u}) {
    const DWORD n = reader.Read(buffer.data(), 1048576);
    EXPECT_EQ(expected, n);
    read.append(buffer.data(), n);
  }
  EXPECT_EQ(0u, reader.Read(buffer.data(), 1048576));
  EXPECT_EQ(reader.Size(), reader.Position());
  EXPECT_EQ(data, read);

  // Size a multiple of the granularity: the end gives 0 without a new view.
  TempFile even("even.bin", data.substr(0, 131072));
  ASSERT_TRUE(reader.Open(even.Path(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(65536u, reader.Read(buffer.data(), 65536));
  EXPECT_EQ(65536u, reader.Read(buffer.data(), 65536));
  EXPECT_EQ(0, std::memcmp(buffer.data(), data.data() + 65536, 65536));
  EXPECT_EQ(0u, reader.Read(buffer.data(), 65536));
  EXPECT_EQ(131072u, reader.Position());
}

TEST(MappedFileReader, EmptyFile) {
  TempFile file("empty.bin", "");
  MappedFileReader reader;
  ASSERT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(0u, reader.Size());
  char c;
  EXPECT_EQ(0u, reader.Read(&c, 1));
  EXPECT_EQ(DWORD(ERROR_FILE_INVALID), reader.LastError());
  EXPECT_EQ(0u, reader.Position());
}

TEST(MappedFileReader, SeekClamps) {
  const std::string data = Pattern(100000);
  TempFile file("seek.bin", data);
  MappedFileReader reader;
  ASSERT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(100000u, reader.Seek(100001));
  EXPECT_EQ(100000u, reader.Seek(~0ull));
  EXPECT_EQ(100000u, reader.Seek(100000));
  EXPECT_EQ(0u, reader.Seek(0));
  EXPECT_EQ(70000u, reader.Seek(70000));
  char buffer[40000];
  EXPECT_EQ(30000u, reader.Read(buffer, sizeof(buffer)));
  EXPECT_EQ(65536u, reader.ViewOffset());
  EXPECT_EQ(0, std::memcmp(buffer, data.data() + 70000, 30000));
}

TEST(MappedFileReader, OpenFailures) {
  MappedFileReader reader;
  EXPECT_FALSE(reader.Open(TempPath("no-such-file.bin").c_str(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), reader.LastError());
  EXPECT_EQ(0u, reader.Size());
  EXPECT_EQ(0u, reader.Position());

  EXPECT_FALSE(
      reader.Open(TempPath("no-such-folder\\file.bin").c_str(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), reader.LastError());

  TempFile file("held.bin", "held open for writing");
  HANDLE writer = ::CreateFileA(file.Path(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  EXPECT_FALSE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), reader.LastError());
  ::CloseHandle(writer);
  EXPECT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
}

// A device or a pipe opens like a file but is none: refused, never read as
// an empty file.
TEST(MappedFileReader, DevicesAndPipesAreRefused) {
  const std::string pipe = "\\\\.\\pipe\\vexorin-reader-" + std::to_string(::GetCurrentProcessId());
  HANDLE hPipe = ::CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096,
                                    0, nullptr);
  ASSERT_NE(hPipe, INVALID_HANDLE_VALUE);
  for (const std::string& name : {std::string("NUL"), pipe}) {
    MappedFileReader reader;
    EXPECT_FALSE(reader.Open(name.c_str(), GENERIC_READ, FILE_SHARE_READ)) << name;
    EXPECT_EQ(DWORD(ERROR_NOT_SUPPORTED), reader.LastError()) << name;
    EXPECT_EQ(0u, reader.Size());
  }
  ::CloseHandle(hPipe);
}

TEST(MappedFileReader, SecondOpenReleasesFirstFile) {
  TempFile first("first.bin", Pattern(200000));
  TempFile second("second.bin", "second");
  MappedFileReader reader;
  ASSERT_TRUE(reader.Open(first.Path(), GENERIC_READ, FILE_SHARE_READ));
  char buffer[1000];
  ASSERT_EQ(1000u, reader.Read(buffer, sizeof(buffer)));  // mapping and view now held
  EXPECT_FALSE(first.IsFree());
  ASSERT_TRUE(reader.Open(second.Path(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_TRUE(first.IsFree());
  EXPECT_EQ(6u, reader.Size());
  EXPECT_EQ(0u, reader.Position());
  EXPECT_EQ(6u, reader.Read(buffer, sizeof(buffer)));
  EXPECT_EQ("second", std::string(buffer, 6));
}

// A real view failure: with the address space used up, a view larger than
// the hole left by the previous one cannot be mapped.
TEST(MappedFileReader, ViewFailureWhenAddressSpaceIsGone) {
  if (sizeof(void*) == 8) GTEST_SKIP() << "a 64-bit address space cannot be used up";
  const std::string data = Pattern(600000);
  TempFile file("nospace.bin", data);
  MappedFileReader reader;
  ASSERT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
  std::vector<char> buffer(600000);
  ASSERT_EQ(65536u, reader.Read(buffer.data(), 65536));

  std::vector<void*> reserved;
  reserved.reserve(100000);
  for (SIZE_T size = SIZE_T(1) << 30; size >= 65536; size /= 2) {
    while (reserved.size() < reserved.capacity()) {
      void* p = ::VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
      if (!p) break;
      reserved.push_back(p);
    }
  }
  const DWORD n = reader.Read(buffer.data(), 500000);
  const DWORD error = reader.LastError();
  const ULONGLONG position = reader.Position();
  for (void* p : reserved) ::VirtualFree(p, 0, MEM_RELEASE);

  EXPECT_EQ(0u, n);
  EXPECT_TRUE(error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
              error == ERROR_COMMITMENT_LIMIT)
      << error;
  EXPECT_EQ(65536u, position);
  EXPECT_EQ(500000u, reader.Read(buffer.data(), 500000));
  EXPECT_EQ(0, std::memcmp(buffer.data(), data.data() + 65536, 500000));
}

// Seams for failures that cannot be provoked on demand.

DWORD g_sizeError = 0;
DWORD g_sizeHigh = 0;
DWORD WINAPI FakeFileSize(HANDLE, LPDWORD high) {
  *high = g_sizeHigh;
  ::SetLastError(g_sizeError);
  return INVALID_FILE_SIZE;
}

TEST(MappedFileReader, ViewFailurePartWay) {
  const std::string data = Pattern(300000);
  TempFile file("viewfail.bin", data);
  MappedFileReader reader;
  ASSERT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
  std::vector<char> buffer(100000);
  MapViewFailure failure(2, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(100000u, reader.Read(buffer.data(), 100000));
  EXPECT_EQ(0u, reader.Read(buffer.data(), 100000));
  EXPECT_EQ(DWORD(ERROR_NOT_ENOUGH_MEMORY), reader.LastError());
  EXPECT_EQ(100000u, reader.Position());
  EXPECT_EQ(nullptr, reader.View());
  // The next read tries again from the same place.
  EXPECT_EQ(100000u, reader.Read(buffer.data(), 100000));
  EXPECT_EQ(0, std::memcmp(buffer.data(), data.data() + 100000, 100000));
  EXPECT_TRUE(reader.Close());
  EXPECT_TRUE(file.IsFree());
}

TEST(MappedFileReader, FileSizeFailureIsFailedOpen) {
  TempFile file("sizefail.bin", "size");
  MappedFileReader reader;
  MappedFileReader::s_pfnGetFileSize = FakeFileSize;
  g_sizeError = ERROR_LOCK_VIOLATION;
  g_sizeHigh = 0;
  EXPECT_FALSE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(DWORD(ERROR_LOCK_VIOLATION), reader.LastError());
  EXPECT_EQ(0u, reader.Size());
  EXPECT_TRUE(file.IsFree()) << "the handle must be closed";

  // The same low word without an error is a real size.
  g_sizeError = NO_ERROR;
  g_sizeHigh = 1;
  EXPECT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(0x1FFFFFFFFull, reader.Size());
  MappedFileReader::s_pfnGetFileSize = ::GetFileSize;
  EXPECT_TRUE(reader.Close());
}

TEST(MappedFileReader, BeyondFourGiB) {
  const ULONGLONG size = (4ull << 30) + 3 * 1048576 + 12345;
  const ULONGLONG boundary = 4ull << 30;
  const Stretch stretches[] = {{boundary - 8, "ABCDEFGHIJKLMNOP"}, {size - 5, "tail!"}};
  TempFile file("big.bin", "");
  ASSERT_TRUE(MakeSparseFile(file.Path(), size, stretches, 2));
  MappedFileReader reader;
  ASSERT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(size, reader.Size());
  char buffer[16];
  EXPECT_EQ(boundary - 8, reader.Seek(boundary - 8));
  EXPECT_EQ(16u, reader.Read(buffer, 16));
  EXPECT_EQ("ABCDEFGHIJKLMNOP", std::string(buffer, 16));
  EXPECT_EQ(boundary - 65536, reader.ViewOffset());
  EXPECT_EQ(boundary + 8, reader.Position());
  // Read the rest in chunks: offsets carry the high word up to the end.
  std::vector<char> chunk(1048576);
  ULONGLONG total = boundary + 8;
  DWORD n = 0, last = 0;
  while ((n = reader.Read(chunk.data(), 1048576)) != 0) {
    total += n;
    last = n;
    EXPECT_EQ(1u, reader.ViewOffset() >> 32);
  }
  EXPECT_EQ(size, total);
  EXPECT_EQ(size, reader.Position());
  EXPECT_EQ("tail!", std::string(chunk.data() + last - 5, 5));
  EXPECT_TRUE(reader.Close());
}

}  // namespace
