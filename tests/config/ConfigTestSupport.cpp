// Helpers of the settings tests.
#include "tests/config/ConfigTestSupport.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

void CConfigTest::SetUp()
{
    char szTemplate[] = "/tmp/tarvik-config-XXXXXX";
    ASSERT_NE(mkdtemp(szTemplate), nullptr);
    m_szDir = szTemplate;
    std::filesystem::create_directory(m_szDir + "/objects");
    std::filesystem::create_directory(m_szDir + "/registry");
    setenv("TARVIK_OBJECTS_DIR", (m_szDir + "/objects").c_str(), 1);
    setenv("TARVIK_REGISTRY_DIR", (m_szDir + "/registry").c_str(), 1);
}

void CConfigTest::TearDown()
{
    if (!m_szDir.empty())
    {
        std::error_code error;
        std::filesystem::remove_all(m_szDir, error);
    }
}

std::wstring CConfigTest::WidePath(const std::string& szName) const
{
    std::string szPath = NativePath(szName);
    return std::wstring(szPath.begin(), szPath.end());
}

std::string CConfigTest::NativePath(const std::string& szName) const
{
    return m_szDir + "/" + szName;
}

std::string ReadBytes(const std::string& szPath)
{
    std::ifstream inStream(szPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(inStream), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& szPath, const std::string& szBytes)
{
    std::ofstream outStream(szPath, std::ios::binary | std::ios::trunc);
    outStream.write(szBytes.data(), static_cast<std::streamsize>(szBytes.size()));
    ASSERT_TRUE(outStream.good()) << szPath;
}

bool PathExists(const std::string& szPath)
{
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(szPath, error));
}

std::string Utf16Le(const std::wstring& szText)
{
    std::string szBytes;
    for (wchar_t ch : szText)
    {
        szBytes.push_back(static_cast<char>(ch & 0xFF));
        szBytes.push_back(static_cast<char>((ch >> 8) & 0xFF));
    }
    return szBytes;
}

std::vector<std::wstring> Utf16Lines(const std::string& szBytes)
{
    std::wstring szText;
    for (size_t i = 2; i + 1 < szBytes.size(); i += 2)
    {
        szText.push_back(static_cast<wchar_t>(static_cast<unsigned char>(szBytes[i]) |
                                              (static_cast<unsigned char>(szBytes[i + 1]) << 8)));
    }
    std::vector<std::wstring> lines;
    size_t nStart = 0;
    while (nStart <= szText.size())
    {
        size_t nEnd = szText.find(L"\r\n", nStart);
        std::wstring szLine = szText.substr(nStart, nEnd == std::wstring::npos ? nEnd : nEnd - nStart);
        if (!szLine.empty())
        {
            lines.push_back(szLine);
        }
        if (nEnd == std::wstring::npos)
        {
            break;
        }
        nStart = nEnd + 2;
    }
    return lines;
}

CProbeProcess::~CProbeProcess()
{
    if (m_nPid > 0)
    {
        Kill();
        Wait();
    }
    if (m_nReadFd >= 0)
    {
        close(m_nReadFd);
    }
}

void CProbeProcess::Start(const std::vector<std::string>& arguments, const std::string& szObjectsDir)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::vector<std::string> argv = {TARVIK_INI_PROBE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argvPointers;
    for (std::string& szArgument : argv)
    {
        argvPointers.push_back(szArgument.data());
    }
    argvPointers.push_back(nullptr);

    pid_t nPid = fork();
    ASSERT_GE(nPid, 0);
    if (nPid == 0)
    {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        if (!szObjectsDir.empty())
        {
            setenv("TARVIK_OBJECTS_DIR", szObjectsDir.c_str(), 1);
        }
        execv(argvPointers[0], argvPointers.data());
        _exit(127);
    }
    close(fds[1]);
    m_nPid = nPid;
    m_nReadFd = fds[0];
}

bool CProbeProcess::ReadLine(int nTimeoutMs, std::string& szLine)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        size_t nEnd = m_szPending.find('\n');
        if (nEnd != std::string::npos)
        {
            szLine = m_szPending.substr(0, nEnd);
            m_szPending.erase(0, nEnd + 1);
            return true;
        }
        auto nLeft = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                           std::chrono::steady_clock::now());
        if (nLeft.count() <= 0)
        {
            return false;
        }
        pollfd pfd = {m_nReadFd, POLLIN, 0};
        int nReady = poll(&pfd, 1, static_cast<int>(nLeft.count()));
        if (nReady < 0 && errno == EINTR)
        {
            continue;
        }
        if (nReady <= 0)
        {
            return false;
        }
        char buffer[256];
        ssize_t nRead = read(m_nReadFd, buffer, sizeof(buffer));
        if (nRead <= 0)
        {
            return false;
        }
        m_szPending.append(buffer, static_cast<size_t>(nRead));
    }
}

void CProbeProcess::Kill()
{
    if (m_nPid > 0)
    {
        kill(m_nPid, SIGKILL);
    }
}

int CProbeProcess::Wait()
{
    int nStatus = -1;
    if (m_nPid > 0)
    {
        while (waitpid(m_nPid, &nStatus, 0) < 0 && errno == EINTR)
        {
        }
        m_nPid = -1;
    }
    return nStatus;
}
