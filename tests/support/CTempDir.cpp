// A temporary directory that goes with its owner.
#include "tests/support/CTempDir.h"

#include "platform/FileSystem.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

CTempDir::CTempDir(const std::string& szPrefix, const fs::path& base)
{
    std::string szTemplate =
        ((base.empty() ? fs::temp_directory_path() : base) / ("tarvik-" + szPrefix + "-XXXXXX")).string();
    if (::mkdtemp(szTemplate.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary directory from " + szTemplate);
    m_path = szTemplate;
}

CTempDir::~CTempDir()
{
    std::error_code error;
    // Entries that a test made read-only or unsearchable must not keep the tree alive.
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, error);
    for (auto it = fs::recursive_directory_iterator(m_path, error); it != fs::recursive_directory_iterator();
         it.increment(error))
    {
        if (!it->is_symlink(error))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(m_path, error);
}

std::string CTempDir::Native(const std::string& szName) const
{
    return (szName.empty() ? m_path : m_path / szName).string();
}

std::wstring CTempDir::Wide(const std::string& szName) const
{
    // The platform's conversion keeps names that are not UTF-8 (std::filesystem would throw).
    return platform::WidePath(Native(szName));
}
