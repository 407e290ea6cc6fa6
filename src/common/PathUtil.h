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

// The file name as the platform finds it (PathFindFileNameA): after the last
// "\", "/" or ":", walking by characters of the code page.
std::size_t PlatformFileNameOffset(const std::string& path);
std::string PlatformFileName(const std::string& path);

// True when path names a file that is there (a folder is no file); a path
// too long for the system is none either.
bool IsExistingFile(const std::string& path);

// True when the file can be opened for reading (by anyone's leave). The
// system's last error is kept for the caller.
bool IsReadableFile(const std::string& path);

// A single file or folder name as a backup stores it: not empty, not "." or
// "..", and without a separator ("\" or "/") or a drive or stream colon.
bool IsPlainName(const std::string& name);

// An absolute path in plain form: a drive ("C:\\...") or a share
// ("\\\\server\\share\\..."), then plain names only (IsPlainName), so
// nothing in it is resolved against a current folder or climbs out of a folder.
bool IsPlainAbsolutePath(const std::string& path);

// The system's full path (GetFullPathNameA: ".", ".." and "/" resolved),
// case folded, without a trailing backslash; empty when it cannot be made.
std::string FullPathFolded(const std::string& path);
// The form under which two paths name the same item: FullPathFolded with the
// long names of the items that exist.
std::string ComparablePath(const std::string& path);
// True when the form `item` is the form `folder` or lies below it (both from
// FullPathFolded or ComparablePath); an empty one matches nothing.
bool IsSameOrBelow(const std::string& item, const std::string& folder);
// IsSameOrBelow on the comparable forms of two paths.
bool IsSameOrInside(const std::string& path, const std::string& folder);

// True when s with its terminator fits a buffer of `size` bytes.
inline bool FitsBuffer(const std::string& s, std::size_t size) { return s.size() < size; }

// Bounded copy and append into a fixed buffer; false, with the buffer left
// terminated and unchanged, when the result would not fit.
bool CopyBounded(char* buffer, std::size_t size, const char* text);
bool AppendBounded(char* buffer, std::size_t size, const char* text);

// Copies as much of text as fits a buffer of `size` bytes, ending on a whole
// character: a double-byte character that does not fit is left out whole.
void CopyCutAtCharacter(char* buffer, std::size_t size, const char* text);

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

// Clears the read-only attribute of a file that has it: a copy from a disc
// keeps it, and the host must be able to write what a restore gave it.
void MakeWritable(const std::string& path);

}  // namespace zr
