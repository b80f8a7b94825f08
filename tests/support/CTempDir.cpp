// A temporary directory that goes with its owner: the parts common to every system.
#include "tests/support/CTempDir.h"

#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

CTempDir::CTempDir(const std::string& szPrefix, const fs::path& base)
{
    const fs::path parent = base.empty() ? fs::temp_directory_path() : base;
    m_path = MakeUnique(parent, "tarvik-" + szPrefix + "-");
    if (m_path.empty())
        throw std::runtime_error("cannot make a temporary directory tarvik-" + szPrefix + "-* in " +
                                 parent.string());
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
