// The directory search read as it goes (the contract): the byte-level match of plain ASCII names
// agrees with the general one, entries removed during a search are never handed out, and the name
// filter of a derived finder sees which entries are directories.
#include "platform/FindFile.h"
#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "platform/WildcardPattern.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

using namespace platform;
using tests::WriteFile;

namespace
{

// The name as narrow text; the names of these tests are ASCII.
std::string Narrow(const std::wstring& szName)
{
    return std::string(szName.begin(), szName.end());
}

std::set<std::string> ListNames(CFindFile& find, const std::wstring& szPattern)
{
    std::set<std::string> names;
    SFindData data;
    for (bool bFound = find.First(szPattern, data); bFound; bFound = find.Next(data))
        names.insert(Narrow(data.szName));
    return names;
}

} // namespace

TEST(WildcardPatternTest, AsciiMatchAgreesWithTheGeneralMatch)
{
    const char* patterns[] = {"*.txt", "*.*",   "*",  "*.", "a?.txt", "?",
                              "*.t?t", "A*B*C", "*x", ".*", "a.b.*"};
    const char* names[] = {"a.txt", "A.TXT",  "x.y.txt", "c.txt.bak", "txt",   ".",
                           "..",    "ab.txt", "a.txt.",  "abc.txt",   "aXbYc", "ABC",
                           "x",     "",       ".hidden", "a.b.c",     "noext", "a.tyt"};
    for (const char* szPattern : patterns)
    {
        const CWildcardPattern pattern(WidePath(szPattern));
        ASSERT_TRUE(pattern.IsAscii());
        for (const char* szName : names)
        {
            const std::string sz(szName);
            EXPECT_EQ(pattern.MatchesAscii(sz.data(), sz.size()), pattern.Matches(WidePath(sz)))
                << szPattern << " on " << szName;
            EXPECT_EQ(pattern.Matches(WidePath(sz)), MatchesWildcard(WidePath(szPattern), WidePath(sz)));
        }
    }
    EXPECT_FALSE(CWildcardPattern(L"r\xE4*").IsAscii());
}

TEST(FindFileStreamTest, EntriesRemovedDuringTheSearchAreNotHandedOut)
{
    CTempDir dir;
    for (int n = 0; n < 300; ++n)
        WriteFile(dir.Native("f" + std::to_string(n) + ".txt"), "x");
    CFindFile find;
    SFindData data;
    ASSERT_TRUE(find.First(dir.Wide("*.txt"), data));
    const std::string szFirst = Narrow(data.szName);
    for (int n = 0; n < 300; ++n)
    {
        const std::string szName = "f" + std::to_string(n) + ".txt";
        if (szName != szFirst)
            std::filesystem::remove(dir.Path() / szName);
    }
    EXPECT_FALSE(find.Next(data));
    EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
    EXPECT_FALSE(find.Next(data)); // and stays at the end
}

namespace
{

// Takes only names beginning with "keep", and notes what it was told of each name.
class CKeepingFinder : public CFindFile
{
public:
    std::set<std::string> m_directories;
    std::set<std::string> m_asked;

protected:
    bool WantsEntry(const std::wstring& szName, bool bDirectory) override
    {
        const std::string szNative = Narrow(szName);
        m_asked.insert(szNative);
        if (bDirectory)
            m_directories.insert(szNative);
        return szNative.rfind("keep", 0) == 0;
    }
};

} // namespace

TEST(FindFileStreamTest, FilterOfADerivedFinderSeesDirectoriesAndDecides)
{
    CTempDir dir;
    WriteFile(dir.Native("keep.txt"), "x");
    WriteFile(dir.Native("drop.txt"), "x");
    std::filesystem::create_directory(dir.Path() / "keepdir");

    CKeepingFinder find;
    EXPECT_EQ(ListNames(find, dir.Wide("*")), (std::set<std::string>{"keep.txt", "keepdir"}));
    EXPECT_EQ(find.m_directories, (std::set<std::string>{".", "..", "keepdir"}));
    // Only names that the pattern matched are asked about.
    find.m_asked.clear();
    EXPECT_EQ(ListNames(find, dir.Wide("*.txt")), (std::set<std::string>{"keep.txt"}));
    EXPECT_EQ(find.m_asked, (std::set<std::string>{"keep.txt", "drop.txt"}));
    // A search for one path asks too.
    EXPECT_EQ(ListNames(find, dir.Wide("drop.txt")), (std::set<std::string>{}));
}

TEST(FindFileStreamTest, FilterIsToldALinkToADirectoryIsOne)
{
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW reports success without making a link");
    CTempDir dir;
    std::filesystem::create_directory(dir.Path() / "keepdir");
    ASSERT_TRUE(tests::MakeSymbolicLink(dir.Path() / "keepdir", dir.Path() / "keeplink", true));
    ASSERT_TRUE(tests::MakeSymbolicLink(dir.Path() / "missing", dir.Path() / "keepdangling"));

    CKeepingFinder find;
    EXPECT_EQ(ListNames(find, dir.Wide("*")), (std::set<std::string>{"keepdir", "keeplink", "keepdangling"}));
    EXPECT_EQ(find.m_directories, (std::set<std::string>{".", "..", "keepdir", "keeplink"}));
}
