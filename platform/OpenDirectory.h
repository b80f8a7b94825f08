// Folders held open, and the entries in them reached by name relative to the open folder: listed,
// described, opened for reading, moved and deleted without resolving a path a second time and
// without following a link on the way. A folder that other users may write into (the incoming
// spool) is worked on only this way, so that nobody can slip a link or another folder in between a
// check and the use of a name.
//
// On Linux: a folder descriptor and openat, fstatat(AT_SYMLINK_NOFOLLOW), renameat2, unlinkat.
// On Windows the same semantics come from handles: the folder is opened with CreateFile and
// FILE_FLAG_BACKUP_SEMANTICS, an entry relative to it with NtCreateFile (RootDirectory set) and
// FILE_FLAG_OPEN_REPARSE_POINT, so that a reparse point is opened as itself; description is
// GetFileInformationByHandleEx on the handle, a move SetFileInformationByHandle(FileRenameInfo, with
// RootDirectory and ReplaceIfExists as asked) and a delete FileDispositionInfo on a handle opened
// without following. Where this differs from Windows:
//  - There is no sharing mode: an entry another process has open can be moved and deleted.
//  - A name is one component: a name with a separator, ".", ".." or an empty name is refused (123).
#pragma once

#include "platform/Clock.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform
{

// What one entry is, read from the entry itself (a link is described as a link).
struct SEntryInfo
{
    EFileKind eKind = EFileKind::Missing;
    uint64_t nSize = 0; // 0 for a directory
    uint32_t nLinks = 0;
    bool bReadOnly = false; // no write permission bit set
    SFileTime ftLastWrite;
    SFileTime ftCreation; // the change time where the file system keeps no birth time
    SFileTime ftLastAccess;
};

// One name met by a folder listing, with its kind as the folder records it (Other when the file
// system does not say; Describe then tells).
struct SListedEntry
{
    std::wstring szName;
    EFileKind eKind = EFileKind::Other;
};

class COpenDirectory;

// A regular file open for reading, as COpenDirectory::OpenFile opened it. One thread at a time.
class COpenFile
{
public:
    COpenFile();
    virtual ~COpenFile();
    COpenFile(const COpenFile&) = delete;
    COpenFile& operator=(const COpenFile&) = delete;

    bool IsOpen() const;
    // What the open file is (taken when it was opened).
    const SEntryInfo& Info() const { return m_info; }
    // Reads up to nMaxBytes from the file's start (fewer when it is shorter); false with the last
    // error set.
    bool ReadPrefix(size_t nMaxBytes, std::string& szBytes);
    // Copies the open file's content, permission bits and times into szName of the folder target,
    // complete or not at all (a temporary name in that folder first, flushed, then put in place;
    // an existing szName is replaced only with bReplace, else 183). The copy is made from this open
    // file, never by a path.
    bool CopyInto(const COpenDirectory& target, const std::wstring& szName, bool bReplace);
    void Close();

private:
    friend class COpenDirectory;
    intptr_t m_nHandle = -1; // the system's handle of the open file
    SEntryInfo m_info;
};

class COpenDirectory
{
public:
    COpenDirectory();
    virtual ~COpenDirectory();
    COpenDirectory(const COpenDirectory&) = delete;
    COpenDirectory& operator=(const COpenDirectory&) = delete;

    // Opens the folder that szPath names, as the administrator wrote it (links in it are followed
    // once, now). False with the last error: 3 missing, 267 not a folder.
    bool Open(const std::wstring& szPath);
    // Opens the subfolder szName of parent; a link there is refused (1921), whatever it points to.
    bool OpenChild(const COpenDirectory& parent, const std::wstring& szName);
    // Creates the folder szPath with its missing parents when it is missing, then opens it.
    bool OpenOrCreate(const std::wstring& szPath);
    bool IsOpen() const;
    void Close();
    // The path this folder was opened by (for log texts only).
    const std::wstring& Path() const { return m_szPath; }

    // Lists the folder from its start: one call of the callback per name but "." and "..", until it
    // returns false. False with the last error when the folder cannot be read.
    template <typename F> bool List(F&& onEntry) const
    {
        return ListEntries([](void* pContext, const SListedEntry& entry)
                           { return (*static_cast<F*>(pContext))(entry); },
                           &onEntry);
    }

    // Describes the entry szName itself; false with the last error (2 missing).
    bool Describe(const std::wstring& szName, SEntryInfo& info) const;

    // Opens szName for reading when it is a regular file: a link is refused (1921, kind
    // SymbolicLink), a folder (5), anything else but a regular file (1630); the open never blocks on
    // a FIFO or a device. With nMaxLinks above 0 a file with more names than that is refused (1921
    // with kind Regular in file.Info()): someone may have linked it in from elsewhere. file.Info()
    // tells the kind also on failure (Missing with 2 when there is no such name).
    bool OpenFile(const std::wstring& szName, uint32_t nMaxLinks, COpenFile& file) const;

    // Moves the entry szName (whatever it is, a link as itself) to szTargetName in target. Without
    // bReplace an existing target is never replaced (183). Across file systems: 17.
    bool MoveEntry(const std::wstring& szName, const COpenDirectory& target, const std::wstring& szTargetName,
                   bool bReplace) const;

    // Removes the name szName when it is not a folder (a folder is refused with 5 and stays; a link
    // is removed itself, never what it points to).
    bool DeleteEntry(const std::wstring& szName) const;

private:
    friend class COpenFile;
    using PListCallback = bool (*)(void* pContext, const SListedEntry& entry);
    bool ListEntries(PListCallback pfnCallback, void* pContext) const;

    intptr_t m_nHandle = -1; // the system's handle of the open folder
    std::wstring m_szPath;
};

} // namespace platform
