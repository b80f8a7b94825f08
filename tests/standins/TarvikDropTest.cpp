// tarvikdrop: the control file it writes for a document of the printing user, and every document,
// account and configuration it must refuse. Runs as root; the cases of an ordinary caller run the
// program as nobody through setpriv.
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{

constexpr uid_t kNobody = 65534;
const std::string kDrop = std::string(TARVIK_BIN_DIR) + "/tarvikdrop";

class TarvikDropTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: documents of other users and runs as nobody";
        m_root = m_temp.Path();
        fs::permissions(m_root, fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write);
        fs::create_directories(m_root / "in");
        fs::create_directories(m_root / "docs");
        fs::create_directories(m_root / "other");
        fs::permissions(m_root / "docs", fs::perms::all | fs::perms::sticky_bit);
        fs::permissions(m_root / "in", fs::perms::owner_all | fs::perms::group_all);
        WriteConfig("Incoming = " + Native("in") + "\nDocuments = " + Native("docs") +
                    "/\nDomain = example.com\n");
    }

    std::string Native(const std::string& szName) const { return (m_root / szName).string(); }

    void WriteConfig(const std::string& szText)
    {
        ASSERT_TRUE(tests::WriteFile(m_root / "drop.conf", szText));
        chmod(Native("drop.conf").c_str(), 0644);
    }

    // A non-empty document of the user nUid.
    void MakeDocument(const std::string& szName, uid_t nUid = kNobody)
    {
        ASSERT_TRUE(tests::WriteFile(m_root / szName, "%PDF-1.4 page\n"));
        ASSERT_EQ(lchown(Native(szName).c_str(), nUid, static_cast<gid_t>(-1)), 0);
    }

    // Runs tarvikdrop with --config and the arguments, as nobody with bAsNobody; the exit code, with
    // its output in m_szOutput.
    int Run(const std::vector<std::string>& arguments, bool bAsNobody = false,
            const std::string& szProgram = kDrop)
    {
        std::vector<std::string> args;
        if (bAsNobody)
            args = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        args.push_back(szProgram);
        if (szProgram == kDrop)
            args.insert(args.end(), {"--config", Native("drop.conf")});
        args.insert(args.end(), arguments.begin(), arguments.end());
        CTestProcess::SOptions options;
        options.m_outputFile = m_root / "out.txt";
        const int nResult = CTestProcess::Run(args, options);
        m_szOutput = tests::ReadFile(m_root / "out.txt");
        return nResult;
    }

    std::vector<std::string> Incoming() const { return tests::ListDirectory(m_root / "in"); }

    CTempDir m_temp{"tarvikdrop"};
    fs::path m_root;
    std::string m_szOutput;
};

TEST_F(TarvikDropTest, WritesTheControlFileOfTheUsersDocumentWithoutReplacingAnything)
{
    MakeDocument("docs/job_7-Invoice.pdf");
    ASSERT_EQ(Run({Native("docs/job_7-Invoice.pdf"), "nobody"}), 0) << m_szOutput;
    const std::string szExpected =
        "File: " + Native("docs/job_7-Invoice.pdf") + "\r\nRespondEmail: nobody@example.com\r\n";
    EXPECT_EQ(tests::ReadFile(m_root / "in/job_7-Invoice.txt"), szExpected);
    struct stat info = {};
    ASSERT_EQ(stat(Native("in/job_7-Invoice.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    // A second drop of the same name, and a planted link under the next name: both stay as they
    // are, the control file takes the first free name, and no temporary file is left.
    ASSERT_TRUE(tests::WriteFile(m_root / "other/victim", "keep"));
    fs::create_symlink(m_root / "other/victim", m_root / "in/job_7-Invoice-2.txt");
    ASSERT_EQ(Run({Native("docs/job_7-Invoice.pdf"), "nobody"}), 0) << m_szOutput;
    EXPECT_EQ(Incoming(),
              (std::vector<std::string>{"job_7-Invoice-2.txt", "job_7-Invoice-3.txt", "job_7-Invoice.txt"}));
    EXPECT_EQ(tests::ReadFile(m_root / "other/victim"), "keep");
    EXPECT_EQ(tests::ReadFile(m_root / "in/job_7-Invoice-3.txt"), szExpected);
}

TEST_F(TarvikDropTest, RefusesEveryDocumentThatIsNotTheUsersOwnFileInTheDocumentsFolder)
{
    MakeDocument("docs/real.pdf");
    MakeDocument("other/outside.pdf");
    MakeDocument("docs/roots.pdf", 0);
    fs::create_symlink(m_root / "docs/real.pdf", m_root / "docs/link.pdf");
    MakeDocument("docs/linked.pdf");
    fs::create_hard_link(m_root / "docs/linked.pdf", m_root / "other/second-name.pdf");
    ASSERT_TRUE(tests::WriteFile(m_root / "docs/empty.pdf", ""));
    lchown(Native("docs/empty.pdf").c_str(), kNobody, static_cast<gid_t>(-1));
    fs::create_directory(m_root / "docs/folder.pdf");
    lchown(Native("docs/folder.pdf").c_str(), kNobody, static_cast<gid_t>(-1));

    const std::vector<std::pair<std::string, std::string>> cases = {
        {Native("docs/link.pdf"), "it is a symbolic link"},
        {Native("docs/linked.pdf"), "it has 2 hard links"},
        {Native("docs/roots.pdf"), "it does not belong to nobody"},
        {Native("other/outside.pdf"), "it does not lie in the documents folder"},
        {Native("docs") + "/../other/outside.pdf", "not an absolute path without '..'"},
        {"docs/real.pdf", "not an absolute path"},
        {Native("docs/missing.pdf"), "the PDF was not written"},
        {Native("docs/empty.pdf"), "the PDF is empty"},
        {Native("docs/folder.pdf"), "it is not a regular file"},
        {Native("docs/real.pdf") + "\nRespondEmail: boss@example.com", "line break"},
    };
    for (const auto& [szDocument, szReason] : cases)
    {
        EXPECT_EQ(Run({szDocument, "nobody"}), 1) << szDocument;
        EXPECT_NE(m_szOutput.find(szReason), std::string::npos) << szDocument << ": " << m_szOutput;
    }
    EXPECT_TRUE(Incoming().empty());

    // A link anywhere in the configured folders' paths is not followed either.
    fs::create_directory_symlink(m_root / "docs", m_root / "docs-link");
    WriteConfig("Incoming = " + Native("in") + "\nDocuments = " + Native("docs-link") +
                "\nDomain = example.com\n");
    EXPECT_EQ(Run({Native("docs-link/real.pdf"), "nobody"}), 1);
    EXPECT_NE(m_szOutput.find("a link or not a folder"), std::string::npos) << m_szOutput;
    EXPECT_TRUE(Incoming().empty());
}

TEST_F(TarvikDropTest, AnOrdinaryCallerPrintsAsTheirOwnAccountOnly)
{
    ASSERT_EQ(chown(Native("in").c_str(), kNobody, static_cast<gid_t>(-1)), 0);
    MakeDocument("docs/mine.pdf");
    MakeDocument("docs/roots.pdf", 0);

    // A name that is not the caller's is refused, even for the caller's own document.
    EXPECT_EQ(Run({Native("docs/mine.pdf"), "root"}, true), 1);
    EXPECT_NE(m_szOutput.find("the name 'root' is not the caller's account nobody"), std::string::npos)
        << m_szOutput;
    EXPECT_EQ(Run({Native("docs/roots.pdf")}, true), 1);
    EXPECT_NE(m_szOutput.find("does not belong to nobody"), std::string::npos) << m_szOutput;
    EXPECT_TRUE(Incoming().empty());

    ASSERT_EQ(Run({Native("docs/mine.pdf")}, true), 0) << m_szOutput;
    EXPECT_NE(tests::ReadFile(m_root / "in/mine.txt").find("RespondEmail: nobody@example.com\r\n"),
              std::string::npos);
}

TEST_F(TarvikDropTest, TakesItsConfigurationOnlyFromAFileThatOthersCannotChange)
{
    MakeDocument("docs/a.pdf");
    chmod(Native("drop.conf").c_str(), 0666);
    EXPECT_EQ(Run({Native("docs/a.pdf"), "nobody"}), 1);
    EXPECT_NE(m_szOutput.find("may be changed by others than its owner"), std::string::npos) << m_szOutput;

    WriteConfig("Incoming = " + Native("in") + "\nDocuments = " + Native("docs") +
                "\nDomain = example.com\nExtra = 1\n");
    EXPECT_EQ(Run({Native("docs/a.pdf"), "nobody"}), 1);
    EXPECT_NE(m_szOutput.find("unknown key 'Extra'"), std::string::npos) << m_szOutput;
    EXPECT_TRUE(Incoming().empty());

    // Installed setgid, the program takes no configuration from its caller. (A sanitizer build's leak
    // checker cannot run in a setgid process and turns the exit code 2 into 1.)
    const fs::path privileged = m_root / "setgid-tarvikdrop";
    fs::copy_file(kDrop, privileged);
    ASSERT_EQ(chmod(privileged.c_str(), 02755), 0);
    EXPECT_NE(Run({"--config", Native("drop.conf"), Native("docs/a.pdf")}, true, privileged.string()), 0);
    EXPECT_NE(m_szOutput.find("--config is only accepted when the program runs without privilege"),
              std::string::npos)
        << m_szOutput;
}

} // namespace
