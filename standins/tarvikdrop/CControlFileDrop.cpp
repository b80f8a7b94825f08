// Checking a printed document and writing its control file (see CControlFileDrop.h).
#include "CControlFileDrop.h"

#include "CFolderHandle.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace
{

// renameat2 with RENAME_NOREPLACE; where the file system lacks it, a hard link and an unlink, which
// never replace either.
int RenameNoReplace(int hFolder, const char* pszFrom, const char* pszTo)
{
    if (syscall(SYS_renameat2, hFolder, pszFrom, hFolder, pszTo, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    if (linkat(hFolder, pszFrom, hFolder, pszTo, 0) != 0)
        return -1;
    unlinkat(hFolder, pszFrom, 0);
    return 0;
}

bool WriteAll(int hFile, const std::string& szContent)
{
    size_t nDone = 0;
    while (nDone < szContent.size())
    {
        const ssize_t n = write(hFile, szContent.data() + nDone, szContent.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        nDone += static_cast<size_t>(n);
    }
    return true;
}

std::string RandomSuffix()
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[8] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        return std::to_string(getpid());
    std::string sz;
    for (const unsigned char b : bytes)
        sz += kLetters[b % (sizeof kLetters - 1)];
    return sz;
}

} // namespace

bool CControlFileDrop::IsAccountName(const std::string& szName)
{
    if (szName.empty() || szName.size() > 64 || szName[0] == '.' || szName[0] == '-')
        return false;
    for (const char c : szName)
    {
        const bool bOk = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                         c == '.' || c == '_' || c == '-';
        if (!bOk)
            return false;
    }
    return true;
}

std::string CControlFileDrop::ControlName(const std::string& szDocumentName)
{
    std::string szBase = szDocumentName;
    if (szBase.size() > 4)
    {
        std::string szTail = szBase.substr(szBase.size() - 4);
        for (char& c : szTail)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (szTail == ".pdf")
            szBase.resize(szBase.size() - 4);
    }
    return szBase + ".txt";
}

bool CControlFileDrop::Drop(const std::string& szDocument, const std::string& szAccount, uid_t nUid,
                            std::string& szResult)
{
    const std::string szWhat = "no control file for job " + szDocument + ": ";
    if (!IsAccountName(szAccount))
    {
        szResult = szWhat + "the account name '" + szAccount + "' cannot form an address";
        return false;
    }
    // A line break would start a control line of its own.
    if (szDocument.find_first_of("\r\n") != std::string::npos || szDocument.size() > 4096)
    {
        szResult = szWhat + "its path holds a line break or is too long";
        return false;
    }
    std::vector<std::string> components;
    if (!CFolderHandle::SplitPath(szDocument, components) || components.empty())
    {
        szResult = szWhat + "not an absolute path without '..'";
        return false;
    }
    const std::string szName = components.back();
    components.pop_back();
    if (CFolderHandle::JoinPath(components) != m_config.Documents())
    {
        szResult = szWhat + "it does not lie in the documents folder " + m_config.Documents();
        return false;
    }
    // Room for the temporary name: "." + base + "." + 8 letters + ".tmp".
    if (szName.size() + 16 > NAME_MAX || ControlName(szName) == ".txt" || szName.front() == '.')
    {
        szResult = szWhat + "its name cannot make a control file name";
        return false;
    }

    CFolderHandle documents;
    std::string szError;
    if (!documents.Open(m_config.Documents(), szError))
    {
        szResult = szWhat + szError;
        return false;
    }
    // O_PATH with O_NOFOLLOW gives the link itself when the name is a link; fstat then tells.
    const int hDocument = openat(documents.Fd(), szName.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (hDocument < 0)
    {
        szResult = szWhat + (errno == ENOENT ? std::string("the PDF was not written") : std::strerror(errno));
        return false;
    }
    struct stat info = {};
    const bool bStat = fstat(hDocument, &info) == 0;
    close(hDocument);
    if (!bStat)
        szResult = szWhat + "it cannot be examined: " + std::strerror(errno);
    else if (S_ISLNK(info.st_mode))
        szResult = szWhat + "it is a symbolic link";
    else if (!S_ISREG(info.st_mode))
        szResult = szWhat + "it is not a regular file";
    else if (info.st_nlink != 1)
        szResult = szWhat + "it has " + std::to_string(info.st_nlink) + " hard links";
    else if (info.st_uid != nUid)
        szResult = szWhat + "it does not belong to " + szAccount;
    else if (info.st_size == 0)
        szResult = szWhat + "the PDF is empty";
    if (!szResult.empty())
        return false;

    CFolderHandle incoming;
    struct stat folder = {};
    if (!incoming.Open(m_config.Incoming(), szError))
    {
        szResult = szWhat + szError;
        return false;
    }
    if (fstat(incoming.Fd(), &folder) != 0 || (folder.st_mode & S_IWOTH))
    {
        szResult = szWhat + "the incoming folder " + m_config.Incoming() + " is writable by every user";
        return false;
    }
    const std::string szContent = "File: " + m_config.Documents() + "/" + szName +
                                  "\r\nRespondEmail: " + szAccount + "@" + m_config.Domain() + "\r\n";
    const std::string szControl = ControlName(szName);
    if (!Write(incoming.Fd(), szControl.substr(0, szControl.size() - 4), szContent, szResult))
    {
        szResult = szWhat + szResult;
        return false;
    }
    szResult = "control file " + m_config.Incoming() + "/" + szResult + " for " + szDocument;
    return true;
}

bool CControlFileDrop::Write(int hIncoming, const std::string& szBase, const std::string& szContent,
                             std::string& szResult)
{
    // The temporary name does not end in .txt, so the service never lists a half-written file.
    const std::string szTemp = "." + szBase + "." + RandomSuffix() + ".tmp";
    const int hFile = openat(hIncoming, szTemp.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0640);
    if (hFile < 0)
    {
        szResult = "cannot write to the incoming folder: " + std::string(std::strerror(errno));
        return false;
    }
    // Readable by the service's group whatever the umask; never by other users.
    bool bOk = fchmod(hFile, 0640) == 0 && WriteAll(hFile, szContent) && fsync(hFile) == 0;
    const int nError = errno;
    bOk = close(hFile) == 0 && bOk;
    if (!bOk)
    {
        unlinkat(hIncoming, szTemp.c_str(), 0);
        szResult = "writing the control file failed: " + std::string(std::strerror(nError));
        return false;
    }
    for (int n = 1; n <= 100; ++n)
    {
        const std::string szTarget = szBase + (n == 1 ? std::string() : "-" + std::to_string(n)) + ".txt";
        if (RenameNoReplace(hIncoming, szTemp.c_str(), szTarget.c_str()) == 0)
        {
            szResult = szTarget;
            return true;
        }
        if (errno != EEXIST)
        {
            szResult = "renaming the control file failed: " + std::string(std::strerror(errno));
            unlinkat(hIncoming, szTemp.c_str(), 0);
            return false;
        }
    }
    unlinkat(hIncoming, szTemp.c_str(), 0);
    szResult = "no free name for it in the incoming folder";
    return false;
}
