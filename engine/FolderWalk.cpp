#include "engine/FolderWalk.h"

#include <algorithm>
#include <cstring>

#include "engine/RowBudget.h"
#include "fileio/LongPath.h"
#include "fileio/OwnedHandle.h"

namespace {

const size_t kStopEvery = 1024;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::wstring UpperWide(const char* p, size_t n) {
  const int nWide = ::MultiByteToWideChar(CP_ACP, 0, p, static_cast<int>(n), nullptr, 0);
  std::wstring wide(nWide > 0 ? nWide : 0, L'\0');
  if (nWide > 0) {
    ::MultiByteToWideChar(CP_ACP, 0, p, static_cast<int>(n), &wide[0], nWide);
    ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), nWide, &wide[0], nWide);
  }
  return wide;
}

// Two names (no separators) letter case aside, then (bExact) by their
// bytes. ASCII names, the common case, take no conversion.
int CompareSegments(const char* a, size_t na, const char* b, size_t nb, bool bExact = true) {
  bool bAscii = true;
  for (size_t i = 0; i < na && i < nb; ++i) {
    if ((a[i] | b[i]) & 0x80) {
      bAscii = false;
      break;
    }
    const char ca = Upper(a[i]), cb = Upper(b[i]);
    if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
  }
  if (!bAscii) {
    const int n = UpperWide(a, na).compare(UpperWide(b, nb));
    if (n != 0) return n < 0 ? -1 : 1;
  } else if (na != nb) {
    return na < nb ? -1 : 1;
  }
  if (!bExact) return 0;
  const int n = std::memcmp(a, b, std::min(na, nb));
  if (n != 0) return n < 0 ? -1 : 1;
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

struct Child {
  std::string strName;
  ULONGLONG qwSize;
  DWORD dwAttributes;
  DWORD dwReparseTag;
};

struct FolderId {
  DWORD dwVolume = 0, dwHigh = 0, dwLow = 0;
  bool operator==(const FolderId& o) const {
    return dwVolume == o.dwVolume && dwHigh == o.dwHigh && dwLow == o.dwLow;
  }
};

// The folder's volume and file id; false when it cannot be had (the loop
// test is then left to the links' marks).
bool IdOf(std::string path, FolderId* pId) {
  if (path.size() == 2 && path[1] == ':') path += '\\';  // "C:" alone is a current folder
  OwnedHandle folder(CreateFileAnyLength(path.c_str(), 0,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
  if (folder.Get() == INVALID_HANDLE_VALUE) {
    folder.Release();
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(folder.Get(), &info)) return false;
  pId->dwVolume = info.dwVolumeSerialNumber;
  pId->dwHigh = info.nFileIndexHigh;
  pId->dwLow = info.nFileIndexLow;
  return true;
}

// The entries of one folder, sorted; false with the system's code when it
// cannot be listed.
bool ListFolder(const std::string& path, std::vector<Child>* pChildren, DWORD* pdwError) {
  pChildren->clear();
  WIN32_FIND_DATAW data;
  HANDLE hFind = ::FindFirstFileW(WideExtendedLengthPath(path + "\\*").c_str(), &data);
  if (hFind == INVALID_HANDLE_VALUE) {
    *pdwError = ::GetLastError();
    return *pdwError == ERROR_FILE_NOT_FOUND;  // nothing at all, not even "."
  }
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    Child child;
    child.strName = NarrowFromWide(data.cFileName, -1);
    child.qwSize = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    child.dwAttributes = data.dwFileAttributes;
    child.dwReparseTag =
        (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? data.dwReserved0 : 0;
    pChildren->push_back(std::move(child));
  } while (::FindNextFileW(hFind, &data));
  *pdwError = ::GetLastError();
  ::FindClose(hFind);
  if (*pdwError != ERROR_NO_MORE_FILES) return false;
  *pdwError = 0;
  std::sort(pChildren->begin(), pChildren->end(), [](const Child& a, const Child& b) {
    return CompareSegments(a.strName.data(), a.strName.size(), b.strName.data(), b.strName.size()) <
           0;
  });
  return true;
}

// A reparse point that stands for another name: a junction, mount point or
// symbolic link (the name-surrogate bit of its tag).
bool IsLink(const Child& child) { return (child.dwReparseTag & 0x20000000) != 0; }

struct Frame {
  std::string strPrefix;  // relative path of the folder with its closing '\'; "" for the root
  std::vector<Child> children;
  size_t nNext = 0;
  FolderId id;
  bool bHasId = false;
};

std::string Joined(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "\\" + name;
}

std::string WithoutClosingSeparator(std::string path) {
  // "C:\" keeps its separator: "C:" alone is the drive's current folder.
  while (path.size() > 3 && IsSeparator(path.back())) path.pop_back();
  if (path.size() == 3 && IsSeparator(path.back())) path.pop_back();
  return path;
}

}  // namespace

namespace {

int ComparePaths(const std::string& a, const std::string& b, bool bExact) {
  size_t ia = 0, ib = 0;
  while (true) {
    size_t ea = ia, eb = ib;
    while (ea < a.size() && !IsSeparator(a[ea])) ++ea;
    while (eb < b.size() && !IsSeparator(b[eb])) ++eb;
    const int n = CompareSegments(a.data() + ia, ea - ia, b.data() + ib, eb - ib, bExact);
    if (n != 0) return n;
    const bool bEndA = ea >= a.size(), bEndB = eb >= b.size();
    if (bEndA || bEndB) return bEndA == bEndB ? 0 : (bEndA ? -1 : 1);
    ia = ea + 1;
    ib = eb + 1;
  }
}

}  // namespace

int ComparePathNames(const std::string& a, const std::string& b) {
  return ComparePaths(a, b, true);
}

bool SamePathName(const std::string& a, const std::string& b) {
  return ComparePaths(a, b, false) == 0;
}

bool WalkFolder(const std::string& folder, std::vector<WalkEntry>* pEntries, DWORD* pdwError,
                const std::atomic<int>* pStop) {
  pEntries->clear();
  *pdwError = 0;
  const std::string root = WithoutClosingSeparator(folder);
  std::vector<Frame> stack(1);
  if (!ListFolder(root, &stack[0].children, pdwError)) return false;
  stack[0].bHasId = IdOf(root, &stack[0].id);
  size_t nSeen = 0;
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.nNext == top.children.size()) {
      stack.pop_back();
      continue;
    }
    const Child child = top.children[top.nNext++];
    if (pStop != nullptr && ++nSeen % kStopEvery == 0 && pStop->load() != 0) {
      pEntries->clear();
      *pdwError = ERROR_CANCELLED;
      return false;
    }
    WalkEntry entry;
    entry.strName = top.strPrefix + child.strName;
    const bool bFolder = (child.dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (IsLink(child)) {
      entry.kind = WalkEntry::Kind::kLink;
    } else if (bFolder) {
      Frame frame;
      const std::string path = Joined(root, entry.strName);
      frame.strPrefix = entry.strName + "\\";
      frame.bHasId = IdOf(path, &frame.id);
      const bool bLoop =
          frame.bHasId && std::any_of(stack.begin(), stack.end(),
                                      [&](const Frame& f) { return f.bHasId && f.id == frame.id; });
      if (bLoop) {
        entry.kind = WalkEntry::Kind::kLink;
      } else if (ListFolder(path, &frame.children, &entry.dwError)) {
        stack.push_back(std::move(frame));
        continue;
      } else {
        entry.kind = WalkEntry::Kind::kUnlistable;
      }
    } else {
      entry.qwSize = child.qwSize;
    }
    if (!RoomForOneMore(*pEntries)) {
      *pEntries = std::vector<WalkEntry>();
      *pdwError = ERROR_NOT_ENOUGH_MEMORY;
      return false;
    }
    pEntries->push_back(std::move(entry));
  }
  return true;
}

FileRow RowOfWalkEntry(const WalkEntry& entry, const std::string& prefix, RowResult fileResult) {
  FileRow row;
  row.strName = prefix + entry.strName;
  row.qwSize = entry.qwSize;
  switch (entry.kind) {
    case WalkEntry::Kind::kLink:
      row.result = RowResult::kRefused;
      row.strReason = "A junction or symbolic link is not followed";
      break;
    case WalkEntry::Kind::kUnlistable:
      row.result = RowResult::kUnreadable;
      row.dwError = entry.dwError;
      row.strReason = "The folder cannot be listed";
      break;
    default:
      row.result = fileResult;
      break;
  }
  return row;
}
