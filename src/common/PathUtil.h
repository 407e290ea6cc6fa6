// Path strings in the ANSI code page (Shift-JIS on the target systems). Every
// separator search walks the string character by character, so the trail byte
// 0x5C of a double-byte character is never taken for a backslash. Lengths are bytes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace zr {

// Address of the last single-byte backslash in s, or nullptr.
const char* FindLastBackslash(const char* s);
inline char* FindLastBackslash(char* s) { return const_cast<char*>(FindLastBackslash(static_cast<const char*>(s))); }

// The code page by whose double-byte characters a language's paths are
// searched for separators: Japanese 932, Traditional Chinese 950, any other
// Chinese 936, every other language 0 (each byte a character).
unsigned SeparatorCodePage(unsigned short language);
// Address of the last single-byte backslash in s, walking by characters of
// codePage (0: by bytes); nullptr when there is none.
const char* FindLastBackslashIn(const char* s, unsigned codePage);

// True when the last character of s is a single-byte backslash.
bool HasTrailingBackslash(const char* s);
inline bool HasTrailingBackslash(const std::string& s) { return HasTrailingBackslash(s.c_str()); }

// Drops one trailing single-byte backslash; true when one was dropped.
bool RemoveTrailingBackslash(std::string& s);

// The part after the last backslash (the whole string when there is none).
std::string FileNamePart(const std::string& path);
// The part before the last backslash (the whole string when there is none).
std::string FolderPart(const std::string& path);

// The key under which the file system takes two names as the same: single-byte
// letters without case, double-byte characters as they are.
std::string FoldCase(const std::string& s);

// True when s with its terminator fits a buffer of `size` bytes.
inline bool FitsBuffer(const std::string& s, std::size_t size) { return s.size() < size; }

// Bounded copy and append into a fixed buffer; false, with the buffer left
// terminated and unchanged, when the result would not fit.
bool CopyBounded(char* buffer, std::size_t size, const char* text);
bool AppendBounded(char* buffer, std::size_t size, const char* text);

// MakeSureDirectoryPathExists that splits only at real separators: creates
// every folder of path up to its last backslash (end the path with "\" to
// create the last component too). False with GetLastError() set on failure.
bool MakeSureFolderPathExists(const char* path);

// MakeSureFolderPathExists for a path that must fit a MAX_PATH buffer; on
// failure `error` holds the system's error.
bool CreateFolderPath(const std::string& folderWithBackslash, DWORD& error);

// CopyFileA over an existing target; false without copying when either path
// does not fit a MAX_PATH buffer.
bool CopyFileOver(const std::string& from, const std::string& to);

}  // namespace zr
