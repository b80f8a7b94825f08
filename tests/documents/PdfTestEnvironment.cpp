// Points the named objects and the registry of the document tests at a temporary directory of
// their own, before the first trace reads the debug switch, and lets the PDF library be found in
// bin/ although the tests lie elsewhere.
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
        setenv("TARVIK_LIBRARY_PATH", TARVIK_BIN_DIR, 1);
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

// fontconfig, which poppler asks for fonts when it renders, keeps a cache it never frees; that is
// not a leak of this program.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
