// A temporary directory on Windows: CreateDirectoryW under a random name, retried while the name
// is taken (Windows has no mkdtemp). The directory inherits the parent's access rights, which for
// the user's temporary directory admit only that user.
#include "tests/support/CTempDir.h"

#include "platform/Windows_win.h"

#include <random>

namespace fs = std::filesystem;

fs::path CTempDir::MakeUnique(const fs::path& parent, const std::string& szStem)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device device;
    std::mt19937 generator(device() ^ ::GetCurrentProcessId() ^ ::GetTickCount());
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kLetters) - 2);
    for (int nTry = 0; nTry < 100; ++nTry)
    {
        std::string szName = szStem;
        for (int i = 0; i < 6; ++i)
            szName.push_back(kLetters[pick(generator)]);
        const fs::path candidate = parent / szName;
        if (::CreateDirectoryW(candidate.c_str(), nullptr))
            return candidate;
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}

std::wstring CTempDir::Wide(const std::string& szName) const
{
    return (szName.empty() ? m_path : m_path / szName).wstring();
}
