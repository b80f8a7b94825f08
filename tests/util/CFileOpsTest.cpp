// File operations on real files in temporary directories; the read-only prompt is answered by a
// scripted presenter installed at the message-box seam.
#include "util/CFileOps.h"

#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/OpenDirectory.h"
#include "platform/SysError.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{

::testing::Environment* const g_pEnvironment = ::testing::AddGlobalTestEnvironment(new CIsolatedEnvironment);

using tests::SystemPath;

class CScriptedPresenter : public platform::IMessageBoxPresenter
{
public:
    int Show(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType) override
    {
        m_texts.push_back(szText);
        m_captions.push_back(szCaption);
        m_types.push_back(nType);
        if (m_answers.empty())
            return platform::kIdCancel;
        int nAnswer = m_answers.front();
        m_answers.pop_front();
        return nAnswer;
    }
    std::deque<int> m_answers;
    std::vector<std::wstring> m_texts;
    std::vector<std::wstring> m_captions;
    std::vector<uint32_t> m_types;
};

class CFileOpsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AnnounceDisplayForScriptedPresenter();
        m_pPrevious = platform::SetMessageBoxPresenter(&m_presenter);
    }
    void TearDown() override { platform::SetMessageBoxPresenter(m_pPrevious); }

    // dir/a.txt, dir/sub/locked.txt (read-only), dir/sub/z.txt
    void MakeTreeWithReadOnlyFile()
    {
        fs::create_directories(m_dir.Path() / "tree" / "sub");
        tests::WriteFile(m_dir.Path() / "tree" / "a.txt", "a");
        tests::WriteFile(m_dir.Path() / "tree" / "sub" / "locked.txt", "l");
        tests::WriteFile(m_dir.Path() / "tree" / "sub" / "z.txt", "z");
        fs::permissions(m_dir.Path() / "tree" / "sub" / "locked.txt",
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }

    CTempDir m_dir;
    CScriptedPresenter m_presenter;
    platform::IMessageBoxPresenter* m_pPrevious = nullptr;
};

} // namespace

TEST_F(CFileOpsTest, DeleteTreeAnsweredYesRemovesEverything)
{
    MakeTreeWithReadOnlyFile();
    m_presenter.m_answers = {platform::kIdYes};
    CFileOps ops;
    EXPECT_TRUE(ops.Delete(m_dir.Wide("tree")));
    EXPECT_FALSE(fs::exists(m_dir.Path() / "tree"));
    ASSERT_EQ(m_presenter.m_texts.size(), 1u);
    EXPECT_EQ(m_presenter.m_texts[0], L"locked.txt is read olny. Do you want delete it?");
    EXPECT_EQ(m_presenter.m_captions[0], L"Warning");
    EXPECT_EQ(m_presenter.m_types[0], platform::kMbYesNoCancel | platform::kMbIconQuestion);
    EXPECT_FALSE(ops.GetKept());
}

TEST_F(CFileOpsTest, DeleteTreeAnsweredNoKeepsFileAndItsDirectories)
{
    MakeTreeWithReadOnlyFile();
    m_presenter.m_answers = {platform::kIdNo};
    CFileOps ops;
    EXPECT_NO_THROW(EXPECT_TRUE(ops.Delete(m_dir.Wide("tree"))));
    EXPECT_TRUE(ops.GetKept());
    EXPECT_TRUE(fs::exists(m_dir.Path() / "tree" / "sub" / "locked.txt"));
    EXPECT_FALSE(fs::exists(m_dir.Path() / "tree" / "a.txt"));
    EXPECT_FALSE(fs::exists(m_dir.Path() / "tree" / "sub" / "z.txt"));
}

TEST_F(CFileOpsTest, DeleteTreeCancelledThrowsCodeZeroAndSetsKept)
{
    MakeTreeWithReadOnlyFile();
    m_presenter.m_answers = {platform::kIdCancel};
    CFileOps ops;
    CFExeption* pCaught = nullptr;
    try
    {
        ops.Delete(m_dir.Wide("tree"));
    }
    catch (CFExeption* pException)
    {
        pCaught = pException;
    }
    ASSERT_NE(pCaught, nullptr);
    EXPECT_EQ(pCaught->GetCode(), 0u);
    delete pCaught;
    EXPECT_TRUE(ops.GetKept());
    EXPECT_TRUE(fs::exists(m_dir.Path() / "tree" / "sub" / "locked.txt"));
}

TEST_F(CFileOpsTest, DeleteWithoutAskingRemovesReadOnlyFileSilently)
{
    MakeTreeWithReadOnlyFile();
    CFileOps ops;
    ops.SetAskReadOnly(false);
    EXPECT_TRUE(ops.Delete(m_dir.Wide("tree")));
    EXPECT_FALSE(fs::exists(m_dir.Path() / "tree"));
    EXPECT_TRUE(m_presenter.m_texts.empty());
}

TEST_F(CFileOpsTest, DeleteFollowsNoSymbolicLinkOutOfTheTree)
{
    fs::create_directories(m_dir.Path() / "outside");
    tests::WriteFile(m_dir.Path() / "outside" / "keep.txt", "k");
    fs::create_directories(m_dir.Path() / "tree");
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW reports success without making a link");
    ASSERT_TRUE(tests::MakeSymbolicLink(m_dir.Path() / "outside", m_dir.Path() / "tree" / "link", true));
    CFileOps ops;
    EXPECT_TRUE(ops.Delete(m_dir.Wide("tree")));
    EXPECT_FALSE(fs::exists(m_dir.Path() / "tree"));
    EXPECT_TRUE(fs::exists(m_dir.Path() / "outside" / "keep.txt"));
}

TEST_F(CFileOpsTest, DeleteRejectsEmptyPath)
{
    CFileOps ops;
    try
    {
        ops.Delete(L"");
        FAIL() << "no exception";
    }
    catch (CFExeption* pException)
    {
        EXPECT_EQ(pException->GetMessage(), L"Unable delete. Empty path passed!");
        EXPECT_EQ(pException->GetCode(), 0u);
        delete pException;
    }
}

TEST_F(CFileOpsTest, CopyNeverOverwritesUnlessAsked)
{
    tests::WriteFile(m_dir.Path() / "src.pdf", "new");
    fs::create_directories(m_dir.Path() / "out");
    tests::WriteFile(m_dir.Path() / "out" / "report.pdf", "old");
    CFileOps ops;
    EXPECT_TRUE(ops.CopyTo(m_dir.Wide("src.pdf"), m_dir.Wide("out/report.pdf"), false));
    EXPECT_TRUE(ops.CopyTo(m_dir.Wide("src.pdf"), m_dir.Wide("out/report.pdf"), false));
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "out" / "report.pdf"), "old");
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "out" / "Copy of report.pdf"), "new");
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "out" / "Copy (1) of report.pdf"), "new");

    EXPECT_TRUE(ops.CopyTo(m_dir.Wide("src.pdf"), m_dir.Wide("out/report.pdf"), true));
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "out" / "report.pdf"), "new");
    // A file copied onto itself stays intact.
    EXPECT_TRUE(ops.CopyTo(m_dir.Wide("src.pdf"), m_dir.Wide("src.pdf"), true));
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "src.pdf"), "new");
}

TEST_F(CFileOpsTest, CopyToCreatesFolderAndReportsFailureInErrorFields)
{
    tests::WriteFile(m_dir.Path() / "src.txt", "x");
    CFileOps ops;
    EXPECT_TRUE(ops.CopyTo(m_dir.Wide("src.txt"), m_dir.Wide("deep/er/dst.txt"), false));
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "deep" / "er" / "dst.txt"), "x");
    EXPECT_EQ(ops.GetErrorText(), L"No error");

    EXPECT_FALSE(ops.CopyTo(m_dir.Wide("missing.txt"), m_dir.Wide("dst2.txt"), false));
    EXPECT_EQ(ops.GetErrorCode(), platform::kErrorFileNotFound);
    EXPECT_FALSE(ops.GetErrorText().empty());
    EXPECT_NE(ops.GetErrorText(), L"No error");
}

TEST_F(CFileOpsTest, MoveToDirectoryCreatesTargetAndHonoursOverwrite)
{
    tests::WriteFile(m_dir.Path() / "a.txt", "first");
    tests::WriteFile(m_dir.Path() / "b.txt", "second");
    CFileOps ops;
    EXPECT_TRUE(ops.MoveToDirectory(m_dir.Wide("a.txt"), m_dir.Wide("out/sub/x.txt"), false));
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "out" / "sub" / "x.txt"), "first");
    EXPECT_FALSE(fs::exists(m_dir.Path() / "a.txt"));

    bool bThrown = false;
    try
    {
        ops.MoveToDirectory(m_dir.Wide("b.txt"), m_dir.Wide("out/sub/x.txt"), false);
    }
    catch (CFExeption* pException)
    {
        bThrown = true;
        EXPECT_NE(pException->GetCode(), 0u);
        delete pException;
    }
    EXPECT_TRUE(bThrown);
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "out" / "sub" / "x.txt"), "first");
    EXPECT_TRUE(ops.MoveToDirectory(m_dir.Wide("b.txt"), m_dir.Wide("out/sub/x.txt"), true));
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "out" / "sub" / "x.txt"), "second");
}

TEST_F(CFileOpsTest, DirectoriesAndPathTypes)
{
    CFileOps ops;
    EXPECT_EQ(ops.CreateDirectory(m_dir.Wide("n/e/w/")), 0);
    EXPECT_EQ(ops.CreateDirectory(m_dir.Wide("n/e/w")), 2);
    EXPECT_EQ(CFileOps::GetPathType(m_dir.Wide("n/e/w")), 2);
    EXPECT_EQ(CFileOps::GetPathType(m_dir.Wide("missing/dir/file.txt")), 0);
    tests::WriteFile(m_dir.Path() / "f.txt", "12345");
    EXPECT_EQ(CFileOps::GetPathType(m_dir.Wide("f.txt")), 1);
    EXPECT_TRUE(CFileOps::IsNotDirectory(m_dir.Wide("f.txt")));
    EXPECT_FALSE(CFileOps::IsNotDirectory(m_dir.Wide("n")));
    EXPECT_FALSE(CFileOps::IsNotDirectory(m_dir.Wide("nothing")));
    EXPECT_EQ(CFileOps::FileSize(m_dir.Wide("f.txt")), 5u);
    EXPECT_EQ(CFileOps::FileSize(m_dir.Wide("nothing")), 0u);

    // A path under a file cannot become a directory.
    EXPECT_THROW(
        {
            try
            {
                ops.CreateDirectory(m_dir.Wide("f.txt/sub"));
            }
            catch (CFExeption* pException)
            {
                delete pException;
                throw 1;
            }
        },
        int);

    EXPECT_TRUE(ops.EnsureDirectory(m_dir.Wide("hidden/cache/"), true));
    EXPECT_EQ(CFileOps::GetPathType(m_dir.Wide("hidden/cache")), 2);
}

TEST_F(CFileOpsTest, TouchFileCreatesMissingAndKeepsExistingContent)
{
    EXPECT_TRUE(CFileOps::TouchFile(m_dir.Wide("new.log")));
    EXPECT_TRUE(fs::exists(m_dir.Path() / "new.log"));
    EXPECT_EQ(fs::file_size(m_dir.Path() / "new.log"), 0u);
    tests::WriteFile(m_dir.Path() / "old.log", "records");
    EXPECT_TRUE(CFileOps::TouchFile(m_dir.Wide("old.log")));
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "old.log"), "records");
    EXPECT_FALSE(CFileOps::TouchFile(m_dir.Wide("no/such/dir/x.log")));
}

TEST(CFileOpsNames, PathParts)
{
    EXPECT_EQ(CFileOps::FileNameOf(SystemPath(L"/a/b/c.tar.gz")), L"c.tar.gz");
    EXPECT_EQ(CFileOps::FileNameOf(L"plain"), L"plain");
    EXPECT_EQ(CFileOps::ExtensionOf(SystemPath(L"/a/b/c.tar.gz")), L"gz");
    EXPECT_EQ(CFileOps::ExtensionOf(SystemPath(L"/a/dir.d/file")), L"");
    SPathParts parts = CFileOps::SplitPath(SystemPath(L"/spool/pdf/Invoice.pdf"));
    EXPECT_EQ(parts.m_szFolder, SystemPath(L"/spool/pdf/"));
    EXPECT_EQ(parts.m_szName, L"Invoice");
    EXPECT_EQ(parts.m_szExtension, L".pdf");
    EXPECT_EQ(CFileOps::AddTrailingBackslash(L""), L"");
    EXPECT_EQ(CFileOps::AddTrailingBackslash(SystemPath(L"/in")), SystemPath(L"/in/"));
    EXPECT_EQ(CFileOps::AddTrailingBackslash(SystemPath(L"/in/")), SystemPath(L"/in/"));
}

TEST(CFileOpsNames, NextCopyNameChains)
{
    std::wstring szName = SystemPath(L"/out/report.pdf");
    szName = CFileOps::NextCopyName(szName);
    EXPECT_EQ(szName, SystemPath(L"/out/Copy of report.pdf"));
    szName = CFileOps::NextCopyName(szName);
    EXPECT_EQ(szName, SystemPath(L"/out/Copy (1) of report.pdf"));
    szName = CFileOps::NextCopyName(szName);
    EXPECT_EQ(szName, SystemPath(L"/out/Copy (2) of report.pdf"));
    EXPECT_EQ(CFileOps::NextCopyName(L"Copy (9) of a.txt"), L"Copy (10) of a.txt");
    // Short and unusual names never crash and always give a different name.
    for (const wchar_t* szOdd :
         {L"Copy a", L"Copy (x", L"Copy (", L"Copy )(", L"Copy (99999999999999999) of b"})
        EXPECT_NE(CFileOps::NextCopyName(szOdd), szOdd);
}

TEST(CFileOpsNames, ValidateFileName)
{
    EXPECT_EQ(CFileOps::ValidateFileName(L""), -1);
    EXPECT_EQ(CFileOps::ValidateFileName(std::wstring(255, L'a')), 0);
    EXPECT_EQ(CFileOps::ValidateFileName(std::wstring(256, L'a')), -1);
    EXPECT_EQ(CFileOps::ValidateFileName(L"a:b"), L':');
    EXPECT_EQ(CFileOps::ValidateFileName(L"a\tb"), 9);
    EXPECT_EQ(CFileOps::ValidateFileName(L"a?b*"), L'?');
    EXPECT_EQ(CFileOps::ValidateFileName(L"..."), 46);
    EXPECT_EQ(CFileOps::ValidateFileName(L".profile"), 0);
    EXPECT_EQ(CFileOps::ValidateFileName(L"CLOCK$"), -2);
    EXPECT_EQ(CFileOps::ValidateFileName(L"aux.pdf"), -3);
    EXPECT_EQ(CFileOps::ValidateFileName(L"PRN"), -6);
    EXPECT_EQ(CFileOps::ValidateFileName(L"COM1.txt"), -7);
    EXPECT_EQ(CFileOps::ValidateFileName(L"lpt1"), -16);
    EXPECT_EQ(CFileOps::ValidateFileName(L"lpt9"), -24);
    EXPECT_EQ(CFileOps::ValidateFileName(L"COMX.txt"), 0);
    EXPECT_EQ(CFileOps::ValidateFileName(L"COM0"), 0);
    EXPECT_EQ(CFileOps::ValidateFileName(L"CONSOLE.txt"), 0);

    std::wstring szDevice;
    EXPECT_EQ(CFileOps::FileNameErrorText(-7, szDevice), L"A device name was used.");
    EXPECT_EQ(szDevice, L"COM1");
    CFileOps::FileNameErrorText(-24, szDevice);
    EXPECT_EQ(szDevice, L"LPT9");
    CFileOps::FileNameErrorText(-2, szDevice);
    EXPECT_EQ(szDevice, L"CLOCK$");
    EXPECT_EQ(CFileOps::FileNameErrorText(-1, szDevice),
              L"A NULL or zero length file name was passed, or the file name exceeded 255 characters.");
    CFileOps::FileNameErrorText(-25, szDevice);
    EXPECT_EQ(szDevice, L"Error");
}

TEST(CFileOpsNames, ProgramLocation)
{
    const std::wstring szPath = ExecutablePath();
    EXPECT_EQ(ExecutableDirectory() + ExecutableFileName(), szPath);
    EXPECT_EQ(ExecutableDirectory().back(), platform::kPathSeparator);
    EXPECT_EQ(ExecutableFileName(), std::wstring(L"test_fileops") + platform::kProgramSuffix);
    const std::wstring szWho = ComputerUserName();
    EXPECT_EQ(szWho, platform::GetComputerName() + L"\\" + platform::GetUserName());
}

// A read-only entry of an open folder is deleted as the prompt answers, and its mode is never
// changed on the way (nothing is changed through a path that may lead elsewhere by then).
TEST_F(CFileOpsTest, DeleteEntryAsksForReadOnlyFilesAndLeavesTheirModeAlone)
{
    for (const char* szName : {"no.txt", "yes.txt", "cancel.txt"})
    {
        tests::WriteFile(m_dir.Path() / szName, "r");
        fs::permissions(m_dir.Path() / szName, fs::perms::owner_read);
    }
    // What the system made of that mode (on Windows the read-only attribute).
    const fs::perms readOnly = fs::status(m_dir.Path() / "no.txt").permissions();
    platform::COpenDirectory folder;
    ASSERT_TRUE(folder.Open(m_dir.Path().wstring()));
    m_presenter.m_answers = {platform::kIdNo, platform::kIdYes, platform::kIdCancel};
    auto info = [&](const wchar_t* szName)
    {
        platform::SEntryInfo entry;
        EXPECT_TRUE(folder.Describe(szName, entry));
        EXPECT_TRUE(entry.bReadOnly);
        return entry;
    };

    CFileOps ops;
    EXPECT_TRUE(ops.DeleteEntry(folder, L"no.txt", info(L"no.txt")));
    EXPECT_TRUE(ops.GetKept());
    EXPECT_EQ(fs::status(m_dir.Path() / "no.txt").permissions(), readOnly);
    EXPECT_TRUE(ops.DeleteEntry(folder, L"yes.txt", info(L"yes.txt")));
    EXPECT_FALSE(fs::exists(m_dir.Path() / "yes.txt"));
    try
    {
        ops.DeleteEntry(folder, L"cancel.txt", info(L"cancel.txt"));
        ADD_FAILURE() << "a cancelled prompt throws";
    }
    catch (CFExeption* pError)
    {
        EXPECT_EQ(pError->GetCode(), 0u);
        delete pError;
    }
    EXPECT_EQ(fs::status(m_dir.Path() / "cancel.txt").permissions(), readOnly);
    ASSERT_EQ(m_presenter.m_texts.size(), 3u);
    EXPECT_EQ(m_presenter.m_texts[0], L"no.txt is read olny. Do you want delete it?");

    // A folder in the file's place is refused and stays.
    fs::create_directories(m_dir.Path() / "dir.txt" / "inner");
    platform::SEntryInfo dirInfo;
    ASSERT_TRUE(folder.Describe(L"dir.txt", dirInfo));
    bool bRefused = false;
    try
    {
        ops.DeleteEntry(folder, L"dir.txt", dirInfo);
    }
    catch (CFExeption* pError)
    {
        bRefused = true;
        delete pError;
    }
    EXPECT_TRUE(bRefused);
    EXPECT_TRUE(fs::exists(m_dir.Path() / "dir.txt" / "inner"));
}
