// A temporary directory on Linux: mkdtemp (mode 0700), names through the platform's conversion.
#include "tests/support/CTempDir.h"

#include "platform/FileSystem.h"

#include <cstdlib>

namespace fs = std::filesystem;

fs::path CTempDir::MakeUnique(const fs::path& parent, const std::string& szStem)
{
    std::string szTemplate = (parent / (szStem + "XXXXXX")).string();
    if (::mkdtemp(szTemplate.data()) == nullptr)
        return {};
    return szTemplate;
}

std::wstring CTempDir::Wide(const std::string& szName) const
{
    // The platform's conversion keeps names that are not UTF-8 (std::filesystem would throw).
    return platform::WidePath(Native(szName));
}
