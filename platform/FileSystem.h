// File-system calls with Windows semantics: attributes, deleting, moving, copying, directory
// creation, and the names of this program, computer and user. The directory search is in FindFile.h.
//
// Paths are wide texts; on Linux they are converted to UTF-8 for the system calls. Every failing
// call sets the last error (SysError.h) in Windows numbering. Where this differs from Windows:
//  - The path separator is '/' (kPathSeparator; '\\' on Windows). Every rule that speaks of a
//    backslash uses it.
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

// The one place that chooses the separator per system.
#if defined(_WIN32)
inline constexpr wchar_t kPathSeparator = L'\\';
inline constexpr const wchar_t* kPathSeparatorText = L"\\";
inline constexpr const wchar_t* kProgramSuffix = L".exe";
#else
inline constexpr wchar_t kPathSeparator = L'/';
inline constexpr const wchar_t* kPathSeparatorText = L"/";
inline constexpr const wchar_t* kProgramSuffix = L""; // what a program's file name ends with
#endif

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

// The wide form of a path or program argument that the system handed over as bytes (on Linux its
// UTF-8 form; a stray byte 0x80..0xFF that is not valid UTF-8 becomes the lone unit U+DC80..U+DCFF,
// so that the name can be used again unchanged).
std::wstring WidePath(const std::string& szNative);

// What a path names.
enum class EFileKind
{
    Missing,
    Regular,
    Directory,
    SymbolicLink,
    Fifo,
    Socket,
    Device,
    Other,
};

// The kind as a phrase for log texts and reports: "a regular file", "a directory", "a symbolic
// link", "a FIFO", "a socket", "a device", "a special file", "missing".
const wchar_t* FileKindText(EFileKind eKind);

// What the path names. With bFollowLinks a symbolic link reads as what it points to (a dangling one
// as itself); without it a link reads as SymbolicLink. Missing sets the last error (2 or 3).
// pSize, when given, receives the size in bytes of a regular file (else 0).
EFileKind GetFileKind(const std::wstring& szPath, bool bFollowLinks, uint64_t* pSize = nullptr);

// The last write time of a path (symbolic links followed); false with the last error set.
bool GetLastWriteTime(const std::wstring& szPath, SFileTime& ftLastWrite);

enum : uint32_t
{
    // The path itself must not be a symbolic link (links in the directories on the way are
    // followed).
    kReadNoFollow = 0x1,
};

// What a read of a file gave.
struct SFileContent
{
    std::string szBytes;                  // at most the bytes asked for, from the file's start
    uint64_t nSize = 0;                   // the file's size when it was opened
    EFileKind eKind = EFileKind::Missing; // what the path named
};

// Reads up to nMaxBytes from the start of a regular file. The read never blocks on a FIFO or a
// device and never opens a socket: anything that is not a regular file is refused (eKind says what
// it is; the last error is 5 for a directory, 1921 for a refused symbolic link, 1630 otherwise).
// True when the bytes were read; szBytes holds fewer than nSize bytes when the file is larger than
// nMaxBytes. Any thread.
bool ReadFilePrefix(const std::wstring& szPath, size_t nMaxBytes, uint32_t nFlags, SFileContent& content);

// Reads a whole regular file into bytes (symbolic links followed; see ReadFilePrefix for what is
// refused); false with the last error set.
bool ReadWholeFile(const std::wstring& szPath, std::string& szBytes);

// Replaces a file's content atomically: the bytes go to a temporary file beside it, which is flushed
// and renamed over it (the old file's permission bits are kept). Other processes see the old content
// or the new one, never a mixture. A link is never written through: when the name is a symbolic link,
// a file with more than one link or not a regular file, nothing is written and the last error is 5.
bool ReplaceFileContent(const std::wstring& szPath, const std::string& szBytes);

} // namespace platform
