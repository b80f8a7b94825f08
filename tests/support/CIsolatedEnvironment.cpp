// Environment variables of an isolated test.
#include "tests/support/CIsolatedEnvironment.h"

#include "tests/support/TestFiles.h"

#include <algorithm>
#include <cstdlib>

CIsolatedEnvironment::CIsolatedEnvironment(unsigned nFlags) : m_directory("env")
{
    std::filesystem::create_directories(ObjectsDir());
    std::filesystem::create_directories(RegistryDir());
    Set("TARVIK_OBJECTS_DIR", ObjectsDir().string().c_str());
    Set("TARVIK_REGISTRY_DIR", RegistryDir().string().c_str());
    if (nFlags & kPdfLibrary)
        Set("TARVIK_LIBRARY_PATH", TARVIK_BIN_DIR);
    if (nFlags & kHeadless)
        Set("TARVIK_HEADLESS", "1");
}

CIsolatedEnvironment::~CIsolatedEnvironment()
{
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
    {
        tests::SetVariable(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
    }
}

void CIsolatedEnvironment::Set(const char* szName, const char* szValue)
{
    if (std::none_of(m_saved.begin(), m_saved.end(),
                     [&](const auto& saved) { return saved.first == szName; }))
    {
        const char* szOld = std::getenv(szName);
        m_saved.emplace_back(szName, szOld ? std::optional<std::string>(szOld) : std::nullopt);
    }
    tests::SetVariable(szName, szValue);
}

void AnnounceDisplayForScriptedPresenter()
{
    tests::SetVariable("TARVIK_HEADLESS", nullptr);
    tests::SetVariable("DISPLAY", "tarvik-test:0");
}
