// Shared pieces of the platform suites: a temporary directory that goes with the test, and small
// file helpers on native paths.
#pragma once

#include "platform/FileSystem.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform_test
{

class CTempDir
{
public:
    explicit CTempDir(const char* szBase = nullptr)
    {
        std::string szTemplate = std::string(szBase ? szBase : "/tmp") + "/tarvik-platform-XXXXXX";
        char* p = ::mkdtemp(szTemplate.data());
        m_szPath = p ? p : "";
    }
    ~CTempDir()
    {
        if (!m_szPath.empty())
        {
            const std::string szCommand = "chmod -R u+rwx '" + m_szPath + "' 2>/dev/null; rm -rf '" + m_szPath + "'";
            if (std::system(szCommand.c_str()) != 0)
            {
                m_szPath.clear();
            }
        }
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_szPath; }
    std::string Native(const std::string& szName) const { return m_szPath + "/" + szName; }
    std::wstring Wide(const std::string& szName = std::string()) const
    {
        return platform::WidePath(szName.empty() ? m_szPath : m_szPath + "/" + szName);
    }

private:
    std::string m_szPath;
};

inline void WriteBytes(const std::string& szPath, const std::string& szBytes)
{
    std::ofstream out(szPath, std::ios::binary | std::ios::trunc);
    out << szBytes;
}

inline std::string ReadBytes(const std::string& szPath)
{
    std::ifstream in(szPath, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline bool Exists(const std::string& szPath)
{
    struct stat st{};
    return ::lstat(szPath.c_str(), &st) == 0;
}

} // namespace platform_test
