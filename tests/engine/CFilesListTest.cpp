// The pending-files list and the directory search that fills it, on real files in a temporary tree.
#include "engine/CFilesList.h"
#include "engine/IFilesListFiller.h"
#include "tests/support/CTempDir.h"
#include "watch/CDocInfo.h"
#include "watch/IFileStatus.h"
#include "watch/IFileValidatior.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

class CCountingValidator : public IFileValidatior
{
public:
    bool Validate(const wchar_t* /*szPath*/, int& nPages, std::wstring& /*szError*/) override
    {
        ++m_nCalls;
        nPages = 1;
        return true;
    }
    int m_nCalls = 0;
};

class CStatusRecorder : public IFileStatus
{
public:
    void OnFileGone(CDocInfo& info) override { m_gone.push_back(info.m_szPath); }
    void OnFileChecked(CDocInfo& info) override { m_checked.push_back(info.m_szPath); }
    std::vector<std::wstring> m_gone;
    std::vector<std::wstring> m_checked;
};

// Accepts records until the n-th, which it refuses.
class CStoppingFiller : public IFilesListFiller
{
public:
    explicit CStoppingFiller(int nRefuseAt) : m_nRefuseAt(nRefuseAt) {}
    bool OnFileListed(CDocInfo& info, int nReserved) override
    {
        m_seen.push_back(info.m_szPath);
        m_reserved.push_back(nReserved);
        return static_cast<int>(m_seen.size()) != m_nRefuseAt;
    }
    int m_nRefuseAt;
    std::vector<std::wstring> m_seen;
    std::vector<int> m_reserved;
};

class FilesListTest : public ::testing::Test
{
protected:
    std::wstring Touch(const fs::path& relative, const std::string& szContent = "content")
    {
        fs::create_directories((m_dir / relative).parent_path());
        std::ofstream(m_dir / relative, std::ios::binary) << szContent;
        return (m_dir / relative).wstring();
    }

    static std::set<std::wstring> Paths(const CFilesList& list)
    {
        std::set<std::wstring> paths;
        for (const CDocInfo* pInfo : list.Records())
            paths.insert(pInfo->m_szPath);
        return paths;
    }

    CTempDir m_temp{"fileslist"};
    const fs::path m_dir = m_temp.Path();
};

TEST_F(FilesListTest, SearchKeepsOneRecordPerPathAndHonoursDepthMasksAndSplitDirectories)
{
    const std::wstring szLower = Touch("a.txt");
    const std::wstring szUpper = Touch("A.TXT"); // differs only in case: a record of its own
    Touch("b.pdf");
    const std::wstring szSub = Touch("sub/c.txt");
    Touch("sub/deeper/d.txt"); // two levels down
    Touch("job.split/e.txt");  // split output is never listed
    Touch("sub/x.split.parts/f.txt");

    CCountingValidator validator;
    CStatusRecorder status;
    CFilesList list(&status, &validator);
    bool bLimit = true;
    CollectFiles(m_dir.wstring(), L"*.txt", list, 1, 100, 10, 0, bLimit);
    EXPECT_FALSE(bLimit);
    EXPECT_EQ(Paths(list), (std::set<std::wstring>{szLower, szUpper, szSub}));
    EXPECT_EQ(status.m_checked.size(), 3u); // each new record is reported once
    EXPECT_EQ(validator.m_nCalls, 3);

    // Meeting the same files again checks the records; it adds none.
    status.m_checked.clear();
    CollectFiles(m_dir.wstring() + L"/", L"*.txt", list, 1, 100, 10, 0, bLimit);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(status.m_checked.size(), 3u);
    EXPECT_EQ(validator.m_nCalls, 6); // steady files are validated, and pass
    for (const CDocInfo* pInfo : list.Records())
        EXPECT_EQ(pInfo->m_nStatus, CDocInfo::kStatusPassed);
    // Passed records are not looked at again; their set checked flag is still reported.
    status.m_checked.clear();
    CollectFiles(m_dir.wstring(), L"*.txt", list, 1, 100, 10, 0, bLimit);
    EXPECT_EQ(validator.m_nCalls, 6);
    EXPECT_EQ(status.m_checked.size(), 3u);

    // Depth 0 stays in the directory itself; the masks split at any of , ; LF TAB.
    CFilesList flat;
    CollectFiles(m_dir.wstring(), L"*.txt", flat, 0, 100, 0, 2, bLimit);
    EXPECT_EQ(Paths(flat), (std::set<std::wstring>{szLower, szUpper}));
    CFilesList mixed;
    CollectFiles(m_dir.wstring(), L"*.pdf;\t,x*\n*.TXT", mixed, 0, 100, 0, 2, bLimit);
    EXPECT_EQ(mixed.Count(), 3);
    CFilesList deep;
    CollectFiles(m_dir.wstring(), L"*.txt", deep, 5, -1, 0, 2, bLimit);
    EXPECT_EQ(deep.Count(), 4); // d.txt too, still nothing below a ".split" directory

    // An empty setting names no directory: the working directory is not searched.
    CFilesList none;
    CollectFiles(L"", L"*", none, 1, 100, 0, 2, bLimit);
    EXPECT_EQ(none.Count(), 0);
}

TEST_F(FilesListTest, SearchStopsAtTheLimitAcrossSubdirectories)
{
    for (int i = 0; i < 70; ++i)
        Touch("f" + std::to_string(i) + ".txt");
    for (int i = 0; i < 80; ++i)
        Touch("sub/g" + std::to_string(i) + ".txt");

    CFilesList list;
    bool bLimit = false;
    CollectFiles(m_dir.wstring(), L"*.txt", list, 1, 100, 0, 2, bLimit);
    EXPECT_TRUE(bLimit);
    EXPECT_EQ(list.Count(), 100);
    // A full list is not searched again.
    bLimit = false;
    CollectFiles(m_dir.wstring(), L"*.txt", list, 1, 100, 0, 2, bLimit);
    EXPECT_TRUE(bLimit);
    EXPECT_EQ(list.Count(), 100);

    CFilesList unlimited;
    CollectFiles(m_dir.wstring(), L"*.txt", unlimited, 1, 0, 0, 2, bLimit);
    EXPECT_FALSE(bLimit);
    EXPECT_EQ(unlimited.Count(), 150);
}

TEST_F(FilesListTest, PassToStopsAtTheFirstRefusal)
{
    for (const char* szName : {"1.txt", "2.txt", "3.txt"})
        Touch(szName);
    CFilesList list;
    bool bLimit = false;
    CollectFiles(m_dir.wstring(), L"*.txt", list, 0, 100, 0, 2, bLimit);
    ASSERT_EQ(list.Count(), 3);
    std::vector<std::wstring> order;
    for (const CDocInfo* pInfo : list.Records())
        order.push_back(pInfo->m_szPath);

    CStoppingFiller refusing(2);
    EXPECT_FALSE(list.PassTo(refusing));
    EXPECT_EQ(refusing.m_seen, (std::vector<std::wstring>{order[0], order[1]}));
    EXPECT_EQ(refusing.m_reserved, (std::vector<int>{0, 0}));

    CStoppingFiller accepting(0);
    EXPECT_TRUE(list.PassTo(accepting));
    EXPECT_EQ(accepting.m_seen, order);
}

TEST_F(FilesListTest, RemoveGoneDropsMissingFilesAndPathsThatBecameDirectories)
{
    const std::wstring szStays = Touch("stays.txt");
    const std::wstring szDeleted = Touch("deleted.txt");
    const std::wstring szBecomesDir = Touch("becomes-dir.txt");
    CFilesList list;
    bool bLimit = false;
    CollectFiles(m_dir.wstring(), L"*.txt", list, 0, 100, 0, 2, bLimit);
    ASSERT_EQ(list.Count(), 3);

    fs::remove(m_dir / "deleted.txt");
    fs::remove(m_dir / "becomes-dir.txt");
    fs::create_directory(m_dir / "becomes-dir.txt");
    CStatusRecorder status;
    list.RemoveGone(&status);
    EXPECT_EQ(Paths(list), std::set<std::wstring>{szStays});
    EXPECT_EQ(std::set<std::wstring>(status.m_gone.begin(), status.m_gone.end()),
              (std::set<std::wstring>{szDeleted, szBecomesDir}));
    list.RemoveGone(nullptr); // without a listener the survivors stay as they are
    EXPECT_EQ(list.Count(), 1);
}

} // namespace
