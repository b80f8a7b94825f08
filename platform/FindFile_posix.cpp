// The directory search on Linux: readdir, Windows wildcards, and the matches in name order.
#include "platform/FindFile.h"

#include "platform/Encoding.h"
#include "platform/FileInfo_posix.h"
#include "platform/FileSystem.h"
#include "platform/SysError.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace platform
{

struct CFindFile::SState
{
    std::string szDirectory;        // native directory, with trailing '/'
    std::vector<std::string> names; // matching names, in order
    size_t nNext = 0;
};

CFindFile::CFindFile() = default;

CFindFile::~CFindFile() = default;

void CFindFile::Close()
{
    m_pState.reset();
}

bool CFindFile::First(const std::wstring& szPattern, SFindData& data)
{
    Close();
    const size_t nSlash = szPattern.rfind(kPathSeparator);
    const std::wstring szDir = nSlash == std::wstring::npos ? std::wstring() : szPattern.substr(0, nSlash + 1);
    const std::wstring szName = nSlash == std::wstring::npos ? szPattern : szPattern.substr(nSlash + 1);
    if (szName.empty())
    {
        SetLastError(szPattern.empty() ? kErrorPathNotFound : kErrorFileNotFound);
        return false;
    }
    auto pState = std::make_unique<SState>();
    pState->szDirectory = NativePath(szDir);
    const std::string szOpen = pState->szDirectory.empty() ? std::string(".") : pState->szDirectory;

    if (szName.find_first_of(L"*?") == std::wstring::npos)
    {
        const std::string szFull = pState->szDirectory + NativePath(szName);
        struct stat st{};
        if (::lstat(szFull.c_str(), &st) != 0)
        {
            SetLastError(NativePathError(errno, szFull));
            return false;
        }
        pState->names.push_back(NativePath(szName));
    }
    else
    {
        DIR* pDir = ::opendir(szOpen.c_str());
        if (pDir == nullptr)
        {
            const int nErr = errno;
            SetLastError(nErr == ENOENT || nErr == ENOTDIR ? kErrorPathNotFound : ErrorFromErrno(nErr));
            return false;
        }
        std::vector<std::pair<std::wstring, std::string>> matches;
        while (dirent* pEntry = ::readdir(pDir))
        {
            const std::string szEntry(pEntry->d_name);
            const std::wstring szWide = WidePath(szEntry);
            if (MatchesWildcard(szName, szWide))
            {
                matches.emplace_back(szWide, szEntry);
            }
        }
        ::closedir(pDir);
        // "." and ".." first, then by name without regard to case, as NTFS lists them.
        auto rank = [](const std::string& s) { return s == "." ? 0 : s == ".." ? 1 : 2; };
        std::sort(matches.begin(), matches.end(), [&](const auto& a, const auto& b) {
            const int ra = rank(a.second);
            const int rb = rank(b.second);
            if (ra != rb)
            {
                return ra < rb;
            }
            const int c = CompareNoCase(a.first, b.first);
            return c != 0 ? c < 0 : a.second < b.second;
        });
        for (auto& m : matches)
        {
            pState->names.push_back(std::move(m.second));
        }
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
    while (m_pState->nNext < m_pState->names.size())
    {
        const std::string& szName = m_pState->names[m_pState->nNext++];
        SFindData found;
        // An entry removed since the listing is skipped.
        if (DescribeNativePath(m_pState->szDirectory + szName, found))
        {
            found.szName = WidePath(szName);
            data = std::move(found);
            return true;
        }
    }
    SetLastError(kErrorNoMoreFiles);
    return false;
}

} // namespace platform
