// Opening a folder component by component with O_NOFOLLOW (see CFolderHandle.h).
#include "CFolderHandle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

CFolderHandle::~CFolderHandle()
{
    if (m_hFolder >= 0)
        close(m_hFolder);
}

bool CFolderHandle::SplitPath(const std::string& szPath, std::vector<std::string>& components)
{
    components.clear();
    if (szPath.empty() || szPath[0] != '/')
        return false;
    size_t nStart = 1;
    while (nStart <= szPath.size())
    {
        size_t nEnd = szPath.find('/', nStart);
        if (nEnd == std::string::npos)
            nEnd = szPath.size();
        const std::string szPart = szPath.substr(nStart, nEnd - nStart);
        if (szPart == "..")
            return false;
        if (!szPart.empty() && szPart != ".")
            components.push_back(szPart);
        nStart = nEnd + 1;
    }
    return true;
}

std::string CFolderHandle::JoinPath(const std::vector<std::string>& components)
{
    std::string szPath;
    for (const std::string& szPart : components)
        szPath += "/" + szPart;
    return szPath.empty() ? "/" : szPath;
}

bool CFolderHandle::Open(const std::string& szPath, std::string& szError)
{
    std::vector<std::string> components;
    if (!SplitPath(szPath, components))
    {
        szError = "'" + szPath + "' is not an absolute path without '..'";
        return false;
    }
    int hFolder = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::string szSoFar;
    for (const std::string& szPart : components)
    {
        if (hFolder < 0)
            break;
        szSoFar += "/" + szPart;
        const int hNext = openat(hFolder, szPart.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int nError = errno;
        close(hFolder);
        hFolder = hNext;
        if (hFolder < 0)
        {
            // O_PATH with O_NOFOLLOW opens a link itself, which O_DIRECTORY then refuses.
            szError = "cannot open the folder " + szSoFar + ": " +
                      (nError == ENOTDIR ? std::string("a link or not a folder") : std::strerror(nError));
            return false;
        }
    }
    if (hFolder < 0)
    {
        szError = "cannot open the folder /: " + std::string(std::strerror(errno));
        return false;
    }
    if (m_hFolder >= 0)
        close(m_hFolder);
    m_hFolder = hFolder;
    return true;
}
