// Test support: a fresh temporary directory, removed with everything in it at the end of the test,
// and a gtest environment that points the named objects and the registry at one.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

class CTestDirectory
{
public:
    CTestDirectory()
    {
        std::string szTemplate = (std::filesystem::temp_directory_path() / "tarvik-test-XXXXXX").string();
        if (::mkdtemp(szTemplate.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_path = szTemplate;
    }
    ~CTestDirectory()
    {
        std::error_code error;
        // Read-only entries left by a test must not keep the tree alive.
        for (auto it = std::filesystem::recursive_directory_iterator(m_path, error);
             it != std::filesystem::recursive_directory_iterator(); it.increment(error))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(m_path, error);
    }
    CTestDirectory(const CTestDirectory&) = delete;
    CTestDirectory& operator=(const CTestDirectory&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The wide path of an entry, with '/' separators (the directory itself for an empty name).
    std::wstring Wide(const std::string& szName = "") const
    {
        return (szName.empty() ? m_path : m_path / szName).wstring();
    }

    static void WriteFile(const std::filesystem::path& path, const std::string& szContent)
    {
        std::ofstream stream(path, std::ios::binary | std::ios::trunc);
        stream << szContent;
    }
    static std::string ReadFile(const std::filesystem::path& path)
    {
        std::ifstream stream(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path m_path;
};

// Keeps every test of the binary away from /run, /etc and the desktop: named objects and the
// registry live in one temporary directory.
class CIsolatedEnvironment : public ::testing::Environment
{
public:
    CIsolatedEnvironment()
    {
        ::setenv("TARVIK_OBJECTS_DIR", (m_directory.Path() / "objects").c_str(), 1);
        ::setenv("TARVIK_REGISTRY_DIR", (m_directory.Path() / "registry").c_str(), 1);
        std::filesystem::create_directories(m_directory.Path() / "objects");
        std::filesystem::create_directories(m_directory.Path() / "registry");
    }
    const CTestDirectory& Directory() const { return m_directory; }

private:
    CTestDirectory m_directory;
};

// The platform hands message boxes to an installed presenter only when a display is announced, so a
// test that installs a scripted presenter announces one (no box ever reaches a real display: the
// scripted presenter answers them all).
inline void AnnounceDisplayForScriptedPresenter()
{
    ::unsetenv("TARVIK_HEADLESS");
    ::setenv("DISPLAY", "tarvik-test:0", 1);
}
