// Linux only: pure decoding of inotify records into directory changes, without system calls, so
// that it can be tested with made-up buffers. CDirectoryWatch (DirectoryWatch_posix.cpp) feeds it what it reads.
#pragma once

#include "platform/DirectoryWatch.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform
{

// One record of an inotify buffer.
struct SInotifyRecord
{
    int nWd = 0;
    uint32_t nMask = 0;
    uint32_t nCookie = 0;
    std::string szName; // without the padding zeros
};

// Splits a buffer read from an inotify descriptor into its records, in order. A record that does not
// fit into the buffer ends the split.
std::vector<SInotifyRecord> SplitInotifyBuffer(const unsigned char* pBuffer, size_t nSize);

// The inotify events a subtree watch asks for.
uint32_t InotifyWatchMask();

// What the caller must do with the system's watches after a batch of records.
struct SWatchUpdate
{
    std::vector<std::string> newDirectories; // relative paths ("sub/", "a/b/") to watch and scan
    std::vector<int> droppedWatches;         // descriptors to remove (directories moved out)
    bool bOverflow = false;                  // the kernel queue overflowed: changes were lost
    bool bRootGone = false;                  // the watched directory itself was deleted or moved
};

// Keeps the map from watch descriptor to directory (relative to the watched root) and turns
// records into changes.
class CInotifyDecoder
{
public:
    CInotifyDecoder() = default;
    virtual ~CInotifyDecoder() = default;

    // Registers a watch; szRelativeDirectory is "" for the root, else ends with '/'.
    void AddWatch(int nWd, const std::string& szRelativeDirectory);
    void RemoveWatch(int nWd);
    // The relative directory of a watch; false when unknown.
    bool WatchDirectory(int nWd, std::string& szRelativeDirectory) const;
    size_t WatchCount() const { return m_watches.size(); }

    // Appends the changes of the records in order. A move whose two halves are both in the batch is
    // a rename (old name, then new name); a lone "moved from" is a removal, a lone "moved to" an
    // addition.
    void Decode(const std::vector<SInotifyRecord>& records, std::vector<SDirectoryChange>& changes,
                SWatchUpdate& update);

private:
    std::string PathOf(const SInotifyRecord& record, bool& bKnown) const;
    void RenameDirectory(const std::string& szOld, const std::string& szNew);
    void DropDirectory(const std::string& szDirectory, SWatchUpdate& update);

    std::map<int, std::string> m_watches;
};

// A relative UTF-8 path as wide text.
std::wstring WideRelativeName(const std::string& szName);

} // namespace platform
