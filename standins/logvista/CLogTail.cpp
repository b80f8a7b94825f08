// Follows a log file across appends and rotations.
#include "standins/logvista/CLogTail.h"

#include "standins/logvista/CLogParser.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Closes a descriptor when the read is done, on every path.
class CFileCloser
{
public:
    explicit CFileCloser(int nFile) : m_nFile(nFile) {}
    ~CFileCloser() { ::close(m_nFile); }
    CFileCloser(const CFileCloser&) = delete;
    CFileCloser& operator=(const CFileCloser&) = delete;

private:
    int m_nFile;
};

} // namespace

CLogTail::CLogTail(std::string szPath) : m_szPath(std::move(szPath)) {}

bool CLogTail::Read(std::vector<SLogRecord>& records, bool& bRestarted)
{
    bRestarted = false;
    // O_NONBLOCK: a FIFO put in the log's place must not hang the window.
    const int nFile = ::open(m_szPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (nFile < 0)
    {
        m_szError = std::strerror(errno);
        return false;
    }
    CFileCloser closer(nFile);
    struct stat info = {};
    if (::fstat(nFile, &info) != 0)
    {
        m_szError = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode))
    {
        m_szError = S_ISDIR(info.st_mode) ? "Is a directory" : "Not a regular file";
        return false;
    }

    const uint64_t nSize = static_cast<uint64_t>(info.st_size);
    if (m_bKnown && (info.st_dev != m_nDevice || info.st_ino != m_nInode || nSize < m_nOffset))
    {
        m_nOffset = 0;
        m_szPending.clear();
        bRestarted = true;
    }
    m_bKnown = true;
    m_nDevice = info.st_dev;
    m_nInode = info.st_ino;

    // Read up to the end as it is now; what the writer adds meanwhile comes with the next read.
    std::string szBytes = std::move(m_szPending);
    const size_t nKept = szBytes.size();
    const uint64_t nWanted = nSize > m_nOffset ? nSize - m_nOffset : 0;
    szBytes.resize(nKept + nWanted);
    size_t nRead = 0;
    while (nRead < nWanted)
    {
        const ssize_t nGot = ::pread(nFile, szBytes.data() + nKept + nRead, nWanted - nRead,
                                     static_cast<off_t>(m_nOffset + nRead));
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot < 0)
        {
            m_szError = std::strerror(errno);
            szBytes.resize(nKept + nRead);
            break;
        }
        if (nGot == 0)
            break;
        nRead += static_cast<size_t>(nGot);
    }
    szBytes.resize(nKept + nRead);
    m_nOffset += nRead;

    size_t nStart = 0;
    for (size_t nEnd = szBytes.find('\n'); nEnd != std::string::npos; nEnd = szBytes.find('\n', nStart))
    {
        records.push_back(CLogParser::ParseLine(std::string_view(szBytes).substr(nStart, nEnd - nStart)));
        nStart = nEnd + 1;
    }
    m_szPending.assign(szBytes, nStart, std::string::npos);
    if (nRead == nWanted)
        m_szError.clear();
    return nRead == nWanted;
}
