// Change notification for a directory and its whole subtree, like ReadDirectoryChangesW with the
// subtree flag and the filter FILE_NAME | SIZE | LAST_ACCESS.
//
// Where this differs from Windows:
//  - Linux (inotify) watches single directories, so every subdirectory present when the watch opens,
//    and every one that appears later, gets a watch of its own. Files found in a directory that
//    appeared (created, or moved in) are reported as added, so none created before its watch was in
//    place is missed.
//  - Names of directories are not reported (the filter has no DIR_NAME), only files.
//  - "Modified" comes from writes and attribute changes (also explicit access-time changes); plain
//    reads, which on Linux are reported on every read whatever the mount's atime policy, are not.
//  - A lost-changes condition (the kernel queue overflowed) is reported by the flag bOverflow, in
//    place of Windows' read with zero bytes.
//  - There is no overlapped record: Cancel() frees a thread blocked in Read().
//  - The watched directory may be deleted or moved while watched (Windows refuses both while the
//    directory is open); RootGone() tells the reader so.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform
{

// The actions, with the FILE_ACTION_* values.
enum : uint32_t
{
    kFileActionAdded = 1,          // created, or moved in from outside the tree
    kFileActionRemoved = 2,        // deleted, or moved out of the tree
    kFileActionModified = 3,       // written, or size or time stamps changed
    kFileActionRenamedOldName = 4, // renamed inside the tree: the old name ...
    kFileActionRenamedNewName = 5, // ... directly followed by the new name
};

struct SDirectoryChange
{
    uint32_t nAction = 0;
    std::wstring szName; // relative to the watched directory, subdirectories separated by '/'
};

class CDirectoryWatch
{
public:
    CDirectoryWatch();
    virtual ~CDirectoryWatch();
    CDirectoryWatch(const CDirectoryWatch&) = delete;
    CDirectoryWatch& operator=(const CDirectoryWatch&) = delete;

    // Starts watching szDirectory and its subtree. False with the last error set (2 or 3 for a
    // missing directory, 267 when it is not a directory, 5, 4 when the system's watch limit is hit).
    bool Open(const std::wstring& szDirectory);

    enum class EResult
    {
        Changes,   // changes (possibly none, with bOverflow) were read
        Cancelled, // Cancel() was called
        Failed,    // the watch is not open or the read failed (last error set)
    };

    // Blocks until changes arrive or Cancel() is called. Appends the changes in the order they
    // happened; bOverflow is set when changes were lost. Called by one thread at a time.
    EResult Read(std::vector<SDirectoryChange>& changes, bool& bOverflow);

    // True once a Read() saw the watched directory itself deleted or moved away: the watch then
    // follows nothing that lies at the watched path, and later reads would block for ever. The
    // reading thread only.
    bool RootGone() const;

    // Makes the current and every later Read() return Cancelled. Safe from any thread.
    void Cancel();

    void Close();

private:
    struct SState;
    std::unique_ptr<SState> m_pState;
};

} // namespace platform
