// Reading tarvikdrop's configuration file (see CDropConfig.h).
#include "CDropConfig.h"

#include "CFolderHandle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

std::string Trim(const std::string& sz)
{
    const size_t nFirst = sz.find_first_not_of(" \t\r");
    if (nFirst == std::string::npos)
        return std::string();
    return sz.substr(nFirst, sz.find_last_not_of(" \t\r") - nFirst + 1);
}

// An absolute path whose normal form is itself minus a trailing slash; stored in normal form.
bool TakePath(const std::string& szKey, const std::string& szValue, std::string& szTarget,
              std::string& szError)
{
    std::vector<std::string> components;
    if (!CFolderHandle::SplitPath(szValue, components) || components.empty())
    {
        szError = szKey + " must be an absolute path without '..', not '" + szValue + "'";
        return false;
    }
    szTarget = CFolderHandle::JoinPath(components);
    return true;
}

} // namespace

bool CDropConfig::IsDomain(const std::string& szDomain)
{
    if (szDomain.empty() || szDomain.size() > 253 || szDomain.find('.') == std::string::npos)
        return false;
    if (szDomain.front() == '.' || szDomain.back() == '.' || szDomain.front() == '-')
        return false;
    for (const char c : szDomain)
    {
        const bool bOk = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                         c == '-' || c == '.';
        if (!bOk)
            return false;
    }
    return szDomain.find("..") == std::string::npos;
}

bool CDropConfig::Parse(const std::string& szText, std::string& szError)
{
    m_szIncoming.clear();
    m_szDocuments.clear();
    m_szDomain.clear();
    m_szLog.clear();
    size_t nStart = 0;
    int nLine = 0;
    while (nStart < szText.size())
    {
        size_t nEnd = szText.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = szText.size();
        const std::string szLine = Trim(szText.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
        ++nLine;
        if (szLine.empty() || szLine[0] == '#')
            continue;
        const std::string szWhere = "line " + std::to_string(nLine) + ": ";
        const size_t nEqual = szLine.find('=');
        if (nEqual == std::string::npos)
        {
            szError = szWhere + "not a line of the form Key = value";
            return false;
        }
        const std::string szKey = Trim(szLine.substr(0, nEqual));
        const std::string szValue = Trim(szLine.substr(nEqual + 1));
        std::string* pTarget = szKey == "Incoming"    ? &m_szIncoming
                               : szKey == "Documents" ? &m_szDocuments
                               : szKey == "Domain"    ? &m_szDomain
                               : szKey == "Log"       ? &m_szLog
                                                      : nullptr;
        if (!pTarget)
        {
            szError = szWhere + "unknown key '" + szKey + "'";
            return false;
        }
        if (!pTarget->empty())
        {
            szError = szWhere + szKey + " is given twice";
            return false;
        }
        if (szKey == "Domain")
        {
            if (!IsDomain(szValue))
            {
                szError = szWhere + "'" + szValue + "' is not a domain name with a dot";
                return false;
            }
            m_szDomain = szValue;
        }
        else if (!TakePath(szKey, szValue, *pTarget, szError))
        {
            szError = szWhere + szError;
            return false;
        }
    }
    for (const auto& [szKey, pValue] :
         {std::pair{"Incoming", &m_szIncoming}, std::pair{"Documents", &m_szDocuments},
          std::pair{"Domain", &m_szDomain}})
    {
        if (pValue->empty())
        {
            szError = std::string(szKey) + " is not set";
            return false;
        }
    }
    return true;
}

bool CDropConfig::Load(const std::string& szPath, uid_t nAlsoOwner, std::string& szError)
{
    const std::string szWhat = "the configuration " + szPath;
    std::vector<std::string> components;
    if (!CFolderHandle::SplitPath(szPath, components) || components.empty())
    {
        szError = szWhat + " is not an absolute path of a file";
        return false;
    }
    const std::string szName = components.back();
    components.pop_back();
    CFolderHandle folder;
    if (!folder.Open(CFolderHandle::JoinPath(components), szError))
    {
        szError = szWhat + ": " + szError;
        return false;
    }
    const int hFile =
        openat(folder.Fd(), szName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (hFile < 0)
    {
        szError = szWhat + " cannot be opened: " +
                  (errno == ELOOP ? std::string("it is a symbolic link") : std::strerror(errno));
        return false;
    }
    struct stat info = {};
    std::string szText;
    bool bOk = fstat(hFile, &info) == 0;
    if (!bOk)
        szError = szWhat + " cannot be examined: " + std::strerror(errno);
    else if (!S_ISREG(info.st_mode) || info.st_nlink != 1)
        szError = szWhat + " is not a regular file with a single link";
    else if (info.st_uid != 0 && info.st_uid != nAlsoOwner)
        szError = szWhat + " is not owned by root";
    else if (info.st_mode & (S_IWGRP | S_IWOTH))
        szError = szWhat + " may be changed by others than its owner";
    else if (info.st_size > static_cast<off_t>(kMaxSize))
        szError = szWhat + " is longer than " + std::to_string(kMaxSize) + " bytes";
    bOk = szError.empty();
    char buffer[4096];
    while (bOk)
    {
        const ssize_t nRead = read(hFile, buffer, sizeof buffer);
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead < 0)
        {
            szError = szWhat + " cannot be read: " + std::strerror(errno);
            bOk = false;
        }
        else if (nRead == 0)
            break;
        else if (szText.size() + static_cast<size_t>(nRead) > kMaxSize)
        {
            szError = szWhat + " is longer than " + std::to_string(kMaxSize) + " bytes";
            bOk = false;
        }
        else
            szText.append(buffer, static_cast<size_t>(nRead));
    }
    close(hFile);
    if (!bOk)
        return false;
    if (szText.find('\0') != std::string::npos)
    {
        szError = szWhat + " holds a zero byte";
        return false;
    }
    if (!Parse(szText, szError))
    {
        szError = szWhat + ", " + szError;
        return false;
    }
    return true;
}
