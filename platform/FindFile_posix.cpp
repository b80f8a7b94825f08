// The directory search on Linux: readdir as it goes, the pattern matched on the stored name, and
// only the entries handed out converted and described.
#include "platform/FindFile.h"

#include "platform/FileSystem_posix.h"
#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"
#include "platform/WildcardPattern.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

namespace platform
{

namespace
{

bool IsAsciiName(const char* pName, size_t& nLength)
{
    size_t n = 0;
    for (; pName[n] != '\0'; ++n)
    {
        if (static_cast<unsigned char>(pName[n]) >= 0x80)
            return false;
    }
    nLength = n;
    return true;
}

} // namespace

struct CFindFile::SState
{
    std::string szDirectory; // native directory with its trailing '/', or empty for the working one
    DIR* pDir = nullptr;     // open while a wildcard search goes on
    std::optional<CWildcardPattern> pattern;
    std::string szSingle; // the one name of a search without wildcards, until it is handed out
    bool bSingle = false;

    ~SState()
    {
        if (pDir != nullptr)
            ::closedir(pDir);
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
    const size_t nSlash = szPattern.rfind(kPathSeparator);
    const std::wstring szDir =
        nSlash == std::wstring::npos ? std::wstring() : szPattern.substr(0, nSlash + 1);
    const std::wstring szName = nSlash == std::wstring::npos ? szPattern : szPattern.substr(nSlash + 1);
    if (szName.empty())
    {
        SetLastError(szPattern.empty() ? kErrorPathNotFound : kErrorFileNotFound);
        return false;
    }
    auto pState = std::make_unique<SState>();
    pState->szDirectory = NativePath(szDir);

    if (szName.find_first_of(L"*?") == std::wstring::npos)
    {
        const std::string szFull = pState->szDirectory + NativePath(szName);
        struct stat st
        {
        };
        if (::lstat(szFull.c_str(), &st) != 0)
        {
            SetLastError(NativePathError(errno, szFull));
            return false;
        }
        pState->szSingle = NativePath(szName);
        pState->bSingle = true;
    }
    else
    {
        const std::string szOpen = pState->szDirectory.empty() ? std::string(".") : pState->szDirectory;
        pState->pDir = ::opendir(szOpen.c_str());
        if (pState->pDir == nullptr)
        {
            const int nErr = errno;
            SetLastError(nErr == ENOENT || nErr == ENOTDIR ? kErrorPathNotFound : ErrorFromErrno(nErr));
            return false;
        }
        pState->pattern.emplace(szName);
    }
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
    if (state.bSingle)
    {
        state.bSingle = false;
        SFindData found;
        if (DescribeNativePath(state.szDirectory + state.szSingle, found) &&
            WantsEntry(WidePath(state.szSingle), (found.nAttributes & kAttributeDirectory) != 0))
        {
            found.szName = WidePath(state.szSingle);
            data = std::move(found);
            return true;
        }
    }
    while (state.pDir != nullptr)
    {
        errno = 0;
        const dirent* pEntry = ::readdir(state.pDir);
        if (pEntry == nullptr)
        {
            // The end, or a directory that can no longer be read: either way nothing more comes.
            ::closedir(state.pDir);
            state.pDir = nullptr;
            break;
        }
        const char* pName = pEntry->d_name;
        size_t nLength = 0;
        std::wstring szWide;
        bool bMatch = false;
        if (state.pattern->IsAscii() && IsAsciiName(pName, nLength))
        {
            bMatch = state.pattern->MatchesAscii(pName, nLength);
        }
        else
        {
            szWide = WidePath(pName);
            bMatch = state.pattern->Matches(szWide);
        }
        if (!bMatch)
            continue;
        if (szWide.empty())
            szWide = WidePath(pName);

        // Whether it is a directory: from the entry's type where the file system gives it, else
        // (links, unknown types) from the file it names.
        bool bDirectory = pEntry->d_type == DT_DIR;
        if (pEntry->d_type == DT_UNKNOWN || pEntry->d_type == DT_LNK)
        {
            struct stat st
            {
            };
            bDirectory = ::fstatat(::dirfd(state.pDir), pName, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!WantsEntry(szWide, bDirectory))
            continue;
        // An entry removed since it was read is skipped.
        SFindData found;
        if (!DescribeNativePath(state.szDirectory + pName, found))
            continue;
        found.szName = std::move(szWide);
        data = std::move(found);
        return true;
    }
    SetLastError(kErrorNoMoreFiles);
    return false;
}

} // namespace platform
