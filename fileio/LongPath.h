#pragma once

#include <windows.h>

#include <string>

// Paths beyond MAX_PATH. Where the system's long-path opt-in is off, the
// narrow ("A") file calls stop at MAX_PATH, and only the wide calls with
// the extended form "\\?\C:\dir\file" or "\\?\UNC\server\share\file" reach
// further.

// The extended form of a path of MAX_PATH bytes or more. That form is
// taken literally, so the path is normalised first: forward slashes become
// backslashes, repeated separators collapse, "." segments go and ".."
// removes the segment before it (never the root). Shorter paths, relative
// paths and paths already in a device form ("\\?\", "\\.\") come back
// unchanged.
std::string ExtendedLengthPath(const std::string& path);

// ExtendedLengthPath in UTF-16, from the ANSI code page; empty if the
// bytes are not valid there.
std::wstring WideExtendedLengthPath(const std::string& path);

// CreateFileA and GetFileAttributesA for paths of any length: a path of
// MAX_PATH bytes or more goes through the wide call in its extended form.
HANDLE CreateFileAnyLength(const char* path, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition,
                           DWORD dwFlags);
DWORD GetFileAttributesAnyLength(const char* path);
// Whether the path names a folder that exists.
bool IsFolderPath(const std::string& path);

// nLength UTF-16 units (-1: up to the terminating zero, which is left out)
// in the program's byte strings: the ANSI code page, UTF-8 under the
// manifest.
std::string NarrowFromWide(const wchar_t* pszText, int nLength);
