// Points the named objects and the registry of the document tests at a temporary directory of
// their own, before the first trace reads the debug switch.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace
{

class CIsolatedEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        std::string szTemplate = (std::filesystem::temp_directory_path() / "tarvik-pdfdoc-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(szTemplate.data()));
        m_szDir = szTemplate;
        setenv("TARVIK_REGISTRY_DIR", (m_szDir + "/registry").c_str(), 1);
        setenv("TARVIK_OBJECTS_DIR", (m_szDir + "/objects").c_str(), 1);
        std::filesystem::create_directories(m_szDir + "/registry");
        std::filesystem::create_directories(m_szDir + "/objects");
    }
    void TearDown() override
    {
        std::error_code error;
        std::filesystem::remove_all(m_szDir, error);
    }

private:
    std::string m_szDir;
};

const ::testing::Environment* const g_pEnvironment =
    ::testing::AddGlobalTestEnvironment(new CIsolatedEnvironment);

} // namespace
