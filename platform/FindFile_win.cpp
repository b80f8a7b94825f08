// The directory search on Windows: FindFirstFileExW/FindNextFileW read the directory as the search
// goes. Each name is matched once more with the wildcard pattern of the platform layer, which drops
// the names that the system matched only through their 8.3 short name ("*.txt" on "a.txtx"). Only
// the entries handed out are described, afresh: one removed since the system read it is skipped,
// and a symbolic link (or junction) is described by what it points to.
#include "platform/FindFile.h"

#include "platform/FileSystem.h"
#include "platform/FileSystem_win.h"
#include "platform/SysError.h"
#include "platform/WildcardPattern.h"
#include "platform/Windows_win.h"

#include <optional>

namespace platform
{

namespace
{

// Describes what szPath names now: a plain entry with one query by path; a reparse point by what it
// points to (a dangling link describes itself). False when the entry is gone.
bool DescribeEntry(const std::wstring& szPath, bool bReparsePoint, SFindData& found)
{
    if (bReparsePoint)
        return DescribeWin32Path(szPath, found);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(szPath.c_str(), GetFileExInfoStandard, &data))
        return false;
    found.nAttributes = data.dwFileAttributes;
    found.nSize = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                      ? 0
                      : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    found.ftCreation = FromFileTime(data.ftCreationTime);
    found.ftLastWrite = FromFileTime(data.ftLastWriteTime);
    found.ftLastAccess = FromFileTime(data.ftLastAccessTime);
    return true;
}

} // namespace

struct CFindFile::SState
{
    std::wstring szDirectory; // the directory part of the pattern with its separator, or empty
    HANDLE hFind = INVALID_HANDLE_VALUE;
    std::optional<CWildcardPattern> pattern; // for a search with wildcards
    WIN32_FIND_DATAW pending{};              // what FindFirstFileExW gave, until Next takes it
    bool bPending = false;

    ~SState()
    {
        if (hFind != INVALID_HANDLE_VALUE)
            ::FindClose(hFind);
    }
};

CFindFile::CFindFile() = default;

CFindFile::~CFindFile() = default;

void CFindFile::Close()
{
    m_pState.reset();
}

bool CFindFile::WantsEntry(const std::wstring& /*szName*/, bool /*bDirectory*/)
{
    return true;
}

bool CFindFile::First(const std::wstring& szPattern, SFindData& data)
{
    Close();
    const size_t nSlash = szPattern.find_last_of(L"\\/");
    const std::wstring szName = nSlash == std::wstring::npos ? szPattern : szPattern.substr(nSlash + 1);
    if (szName.empty() || szPattern.find(L'\0') != std::wstring::npos)
    {
        SetLastError(szPattern.empty() ? kErrorPathNotFound : kErrorFileNotFound);
        return false;
    }
    auto pState = std::make_unique<SState>();
    pState->szDirectory =
        nSlash == std::wstring::npos ? std::wstring() : Win32Path(szPattern.substr(0, nSlash + 1));
    if (szName.find_first_of(L"*?") != std::wstring::npos)
        pState->pattern.emplace(szName);
    // No short names asked for, and large reads of the directory.
    pState->hFind = ::FindFirstFileExW(Win32Path(szPattern).c_str(), FindExInfoBasic, &pState->pending,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (pState->hFind == INVALID_HANDLE_VALUE)
    {
        const DWORD nError = ::GetLastError();
        SetLastError(nError == ERROR_NO_MORE_FILES ? static_cast<uint32_t>(kErrorFileNotFound) : nError);
        return false;
    }
    pState->bPending = true;
    m_pState = std::move(pState);
    if (!Next(data))
    {
        Close();
        SetLastError(kErrorFileNotFound);
        return false;
    }
    return true;
}

bool CFindFile::Next(SFindData& data)
{
    if (!m_pState)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    SState& state = *m_pState;
    WIN32_FIND_DATAW raw;
    while (state.hFind != INVALID_HANDLE_VALUE)
    {
        if (state.bPending)
        {
            raw = state.pending;
            state.bPending = false;
        }
        else if (!::FindNextFileW(state.hFind, &raw))
        {
            // The end, or a directory that can no longer be read: either way nothing more comes.
            ::FindClose(state.hFind);
            state.hFind = INVALID_HANDLE_VALUE;
            break;
        }
        std::wstring szName(raw.cFileName);
        if (state.pattern && !state.pattern->Matches(szName))
            continue;
        const bool bReparsePoint = (raw.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        const std::wstring szPath = state.szDirectory + szName;
        // A link is described by what it points to before the filter is asked whether it is a
        // directory; a plain entry is described only once it is wanted.
        SFindData found;
        bool bDescribed = false;
        bool bDirectory = (raw.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (bReparsePoint)
        {
            if (!DescribeEntry(szPath, true, found))
                continue;
            bDescribed = true;
            bDirectory = (found.nAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                         (found.nAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        }
        if (!WantsEntry(szName, bDirectory))
            continue;
        // An entry removed since the system read it is skipped.
        if (!bDescribed && !DescribeEntry(szPath, false, found))
            continue;
        found.szName = std::move(szName);
        data = std::move(found);
        return true;
    }
    SetLastError(kErrorNoMoreFiles);
    return false;
}

} // namespace platform
