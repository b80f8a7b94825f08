// File-system calls with Windows semantics: attributes, deleting, moving, copying, directory
// creation, and the names of this program, computer and user. The directory search is in FindFile.h.
//
// Paths are wide texts; on Linux they are converted to UTF-8 for the system calls. Every failing
// call sets the last error (SysError.h) in Windows numbering. Where this differs from Windows:
//  - The path separator is '/' (kPathSeparator). Every rule that speaks of a backslash uses it.
//  - Read-only: a file counts as read-only when none of its write permission bits is set. Clearing
//    the attributes to normal gives the owner write permission.
//  - Hidden and system attributes are kept in the extended attribute user.DOSATTRIB (one byte of
//    attribute bits, as text "0x..."); on a file system without extended attributes setting them is
//    skipped without failure and they read as not set.
//  - There is no sharing mode: a file another process has open can always be opened, renamed and
//    deleted (no sharing violation is ever reported by this layer).
//  - DeleteFile removes a read-only file (Windows refuses it with 5); callers that must respect the
//    attribute test it first, as the file operations do.
//  - A regular file always reads kAttributeArchive (no archive bit is kept); a directory reads
//    kAttributeDirectory. Symbolic links are followed.
//  - Moves and copies: an existing target without the replace flag gives 183 for a move and 80 for a
//    copy, as on Windows; copies and cross-device moves also keep the modification time.
#pragma once

#include "platform/Clock.h"
#include "platform/FindFile.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform
{

inline constexpr wchar_t kPathSeparator = L'/';
inline constexpr const wchar_t* kPathSeparatorText = L"/";

enum : uint32_t
{
    kAttributeReadOnly = 0x01,
    kAttributeHidden = 0x02,
    kAttributeSystem = 0x04,
    kAttributeDirectory = 0x10,
    kAttributeArchive = 0x20,
    kAttributeNormal = 0x80,
};
inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

// Attributes of a path (symbolic links followed); kInvalidFileAttributes with the last error set
// (2 file not found, 3 path not found when a parent is missing or not a directory, 5 ...).
uint32_t GetFileAttributes(const std::wstring& szPath);

// Sets the read-only, hidden and system bits as given (kAttributeNormal clears all of them).
bool SetFileAttributes(const std::wstring& szPath, uint32_t nAttributes);

bool DeleteFile(const std::wstring& szPath);
bool RemoveDirectory(const std::wstring& szPath);

// Creates one directory; its parent must exist (183 when it exists already).
bool CreateDirectory(const std::wstring& szPath);

// Creates a directory with every missing parent, like SHCreateDirectoryEx: true on success; false
// with the last error set, 183 when the directory existed already.
bool CreateDirectoryTree(const std::wstring& szPath);

enum : uint32_t
{
    kMoveReplaceExisting = 0x1,
    kMoveCopyAllowed = 0x2,
};

// Moves a file like MoveFileEx. Without kMoveReplaceExisting an existing target is never replaced,
// atomically (80 file exists or 183). With kMoveCopyAllowed a move across file systems copies to a
// temporary name in the target directory, flushes it to disk, puts it in place (without replacing
// unless asked) and only then removes the source: a crash leaves the file in at least one place and
// never half-written under the target name. Without it a cross-device move fails with 17.
bool MoveFile(const std::wstring& szSource, const std::wstring& szTarget, uint32_t nFlags);

// Copies a file's content (and permission bits) like CopyFile; with bFailIfExists an existing
// target is never replaced (80). The target appears complete or not at all.
bool CopyFile(const std::wstring& szSource, const std::wstring& szTarget, bool bFailIfExists);

// Windows' wildcard match of a file name (case-insensitive; "*.*" matches every name; see
// WildcardPattern.h).
bool MatchesWildcard(const std::wstring& szPattern, const std::wstring& szName);

// Full path of the running executable (/proc/self/exe).
std::wstring GetExecutablePath();

// Host name (up to its first dot, as given), and the user name of the process's real user; uid 0
// reads as "SYSTEM", the account that services run under.
std::wstring GetComputerName();
std::wstring GetUserName();

// Narrow (UTF-8) form of a wide path, as the system calls take it. A file name that is not valid UTF-8
// keeps each stray byte 0x80..0xFF as the lone unit U+DC80..U+DCFF, so that it converts back unchanged.
std::string NativePath(const std::wstring& szPath);
std::wstring WidePath(const std::string& szNative);

// Reads a whole file into bytes; false with the last error set.
bool ReadWholeFile(const std::wstring& szPath, std::string& szBytes);

// Replaces a file's content atomically: the bytes go to a temporary file beside it, which is flushed
// and renamed over it (a symbolic link is followed, the old file's permission bits are kept). Other
// processes see the old content or the new one, never a mixture.
bool ReplaceFileContent(const std::wstring& szPath, const std::string& szBytes);

} // namespace platform
