// A directory search like FindFirstFile/FindNextFile, and the entry it describes.
//
// Where this differs from Windows:
//  - Matches come in the order in which the system reads the directory (no sort); "." and ".."
//    come with the other names where a pattern takes them.
//  - The search reads the directory as it goes: it holds the directory open until Close, the end,
//    or the finder's destruction, and an entry made or removed meanwhile may or may not be met (none
//    is met twice). Only entries handed out are converted and described; the name pattern is
//    matched on the name as the system stores it.
//  - There are no 8.3 short names, so "*.txt" never matches "a.txtx".
//  - Symbolic links are followed for the attributes; a dangling link describes itself.
#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform
{

// One directory entry, like WIN32_FIND_DATA.
struct SFindData
{
    std::wstring szName; // file name without directory
    uint32_t nAttributes = 0;
    uint64_t nSize = 0;
    SFileTime ftCreation;  // birth time where the file system records one, else the change time
    SFileTime ftLastWrite; // modification time
    SFileTime ftLastAccess;
};

// The pattern is a directory path followed by a name pattern with the wildcards * and ? ("dir/*.*"
// and "dir/*" list everything, "." and ".." included, as on Windows), or a plain path that names
// one entry. One thread uses a finder at a time.
class CFindFile
{
public:
    CFindFile();
    virtual ~CFindFile();
    CFindFile(const CFindFile&) = delete;
    CFindFile& operator=(const CFindFile&) = delete;

    // Starts a search; false with the last error (2 when nothing matches, 3 for a missing directory).
    bool First(const std::wstring& szPattern, SFindData& data);
    // Next match; false with kErrorNoMoreFiles at the end.
    bool Next(SFindData& data);
    // Ends the search and releases the directory.
    void Close();

protected:
    // Asked for every name that the pattern matched, before the entry is described or handed out:
    // false skips it. bDirectory tells whether the entry is a directory (links followed). The
    // default takes every name.
    virtual bool WantsEntry(const std::wstring& szName, bool bDirectory);

private:
    struct SState;
    std::unique_ptr<SState> m_pState;
};

} // namespace platform
