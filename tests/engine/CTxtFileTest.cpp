// Processing of control files on real files: the age rule, PdfDefDir, the move to the outgoing
// directory's root, a target that must not be overwritten, the give-up with its report mail through
// a real SMTP server, and the log records written to the real log file.
#include "engine/CTxtFile.h"
#include "config/CFMParams.h"
#include "engine/CTxtFiles.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CSmtpSink.h"
#include "tests/support/CTestParams.h"
#include "tests/support/TestFiles.h"

#include "tests/engine/CIsolatedRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

using tests::ReadFile;

std::string Narrow(const std::wstring& sz)
{
    return fs::path(sz).string();
}

struct SRecord
{
    std::string szCode;
    std::string szMessage;
};

class TxtFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* szDir : {"in/sub", "out", "err", "docs"})
            fs::create_directories(m_root / szDir);
        m_logPath = fs::read_symlink("/proc/self/exe").string() + ".log";

        m_pParams = std::make_unique<CTestParams>((m_root / "tarvik.ini").wstring());
        m_pParams->m_szTxtInDir = (m_root / "in").wstring() + L"/";
        m_pParams->m_szTxtOutDir = (m_root / "out").wstring() + L"/";
        m_pParams->m_szTxtErrDir = (m_root / "err").wstring() + L"/";
        m_pParams->m_szPdfDefDir = (m_root / "docs").wstring() + L"/";
        m_pParams->m_nAttempts = 2;
        m_pParams->m_bMoveErr = 1;
        m_pParams->m_szDefEmail = L"default@example.org";
        m_pParams->m_szEmSmtpServer = L"127.0.0.1";
        m_pParams->m_nEmPort = 1; // nothing listens: tests that look at the mail start a sink
        m_pParams->m_szEmSenderEmail = L"tarvik@example.org";
        m_pParams->m_szEmSenderName = L"Tarvik";
        m_pParams->m_szEmSubject = L"Document failed";
    }
    void TearDown() override { m_pParams.reset(); }

    fs::path MakePdf(const std::string& szName)
    {
        fs::path path = m_root / "docs" / szName;
        EXPECT_TRUE(tests::MakeOnePagePdf(path, "Order"));
        return path;
    }

    // Writes a control file; bOld puts its last write a minute back, past the age rule.
    std::wstring WriteControl(const fs::path& relative, const std::string& szContent, bool bOld = true)
    {
        fs::path path = m_root / "in" / relative;
        std::ofstream(path, std::ios::binary) << szContent;
        if (bOld)
            fs::last_write_time(path, fs::file_time_type::clock::now() - 60s);
        return path.wstring();
    }

    // The records of the log file so far, each checked for the six-field form.
    std::vector<SRecord> Records()
    {
        static const std::regex line(R"(^(\d+),(\d{4,}),[^,]*,\d\d/\d\d/\d{4},\d\d:\d\d:\d\d\.\d{3},(.*)$)");
        std::vector<SRecord> records;
        std::istringstream text(ReadFile(m_logPath));
        std::string szLine;
        while (std::getline(text, szLine))
        {
            if (!szLine.empty() && szLine.back() == '\r')
                szLine.pop_back();
            std::smatch match;
            EXPECT_TRUE(std::regex_match(szLine, match, line)) << szLine;
            if (!match.empty())
                records.push_back(SRecord{match[2].str(), match[3].str()});
        }
        return records;
    }
    // How many records carry this code and exactly this message.
    int Count(const std::string& szCode, const std::string& szMessage)
    {
        int n = 0;
        for (const SRecord& record : Records())
            n += record.szCode == szCode && record.szMessage == szMessage;
        return n;
    }

    CIsolatedEnvironment m_env{CIsolatedEnvironment::kPdfLibrary | CIsolatedEnvironment::kHeadless};
    // A long root, as a spool directory may be: the report mail folds the control file's longer lines.
    const fs::path m_root =
        m_env.Directory().Path() /
        ("txtfile-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::string m_logPath;
    std::unique_ptr<CTestParams> m_pParams;
};

TEST_F(TxtFileTest, YoungFileIsSkippedAndCountedThenBareNameIsReleasedToTheOutgoingRoot)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    MakePdf("order.pdf");
    const std::wstring szPath =
        WriteControl("sub/order.txt", "File: order.pdf\nRespondEmail: a@b.c\n", false);
    CTxtFile file(szPath, m_pParams.get());
    EXPECT_FALSE(file.Process());
    EXPECT_EQ(file.GetAttempts(), 1);
    EXPECT_EQ(file.GetState(), CTxtFile::kStatePending);
    EXPECT_EQ(Count("3009", "Skip reading new TXT file " + Narrow(szPath)), 1);
    EXPECT_TRUE(fs::exists(szPath));

    fs::last_write_time(fs::path(szPath), fs::file_time_type::clock::now() - 60s);
    EXPECT_TRUE(file.Process());
    EXPECT_EQ(file.GetAttempts(), 2);
    EXPECT_EQ(file.GetState(), CTxtFile::kStateFinished);
    EXPECT_FALSE(fs::exists(szPath));
    EXPECT_EQ(ReadFile(m_root / "out" / "order.txt"), "File: order.pdf\nRespondEmail: a@b.c\n");
    EXPECT_FALSE(fs::exists(m_root / "out" / "sub"));
    EXPECT_TRUE(fs::exists(m_root / "docs" / "order.pdf")); // the document stays where it is
}

TEST_F(TxtFileTest, ExistingTargetIsNeverOverwrittenAndTheGiveUpMailsAndMovesToTheErrorDirectory)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    CSmtpSink sink;
    ASSERT_TRUE(sink.Start()) << sink.Error();
    m_pParams->m_nEmPort = sink.Port();
    const fs::path pdf = MakePdf("taken.pdf");
    std::ofstream(m_root / "out" / "taken.txt", std::ios::binary) << "keep";
    const std::string szContent =
        "File: " + pdf.string() + "\r\nRespondEmail: clerk@example.com\r\n#CN: Acme\r\n";
    const std::wstring szPath = WriteControl("taken.txt", szContent);

    CTxtFiles files;
    EXPECT_TRUE(files.Add(new CTxtFile(szPath, m_pParams.get())));
    EXPECT_FALSE(files.Add(new CTxtFile(szPath, m_pParams.get())));
    for (int nPass = 1; nPass <= 2; ++nPass)
    {
        EXPECT_FALSE(files.ProcessAll());
        EXPECT_EQ(files.Count(), 1u);
        EXPECT_EQ(ReadFile(m_root / "out" / "taken.txt"), "keep");
    }
    int nMoveFailures = 0;
    for (const SRecord& record : Records())
        nMoveFailures += record.szCode == "3009" && record.szMessage.find("'. Attempt ") != std::string::npos;
    EXPECT_EQ(nMoveFailures, 2);

    // The third attempt is past the limit of 2: give up, report, move to the error directory.
    std::ofstream(m_root / "err" / "taken.txt", std::ios::binary) << "old error copy";
    EXPECT_FALSE(files.ProcessAll());
    EXPECT_EQ(files.Count(), 0u);
    EXPECT_EQ(Count("0036", "Failed to process incoming file. Number of attempts exceeded."), 1);
    EXPECT_EQ(Count("4004", "The e-mail was successfully delivered to recipient(s): clerk@example.com. "), 1);
    EXPECT_EQ(ReadFile(m_root / "out" / "taken.txt"), "keep");
    EXPECT_EQ(ReadFile(m_root / "err" / "taken.txt"), szContent); // the error directory is overwritten
    EXPECT_FALSE(fs::exists(szPath));

    ASSERT_TRUE(sink.WaitForMessages(1)) << sink.Error();
    CSmtpSink::SMessage message = sink.Read(1);
    EXPECT_EQ(message.m_vRcptTos, std::vector<std::string>{"clerk@example.com"});
    const fs::path parts = m_root / "parts";
    fs::create_directories(parts);
    std::map<std::string, std::string> facts = CSmtpSink::ParseMail(message.m_szEmlPath, parts.string());
    EXPECT_EQ(facts["defects"], "0");
    EXPECT_EQ(facts["subject"], "Document failed");
    std::string szBody, szAttachment;
    for (int n = 0; n <= 3; ++n)
    {
        const std::string szPart = "part." + std::to_string(n) + ".";
        if (facts[szPart + "filename"] == "taken.txt")
            szAttachment = ReadFile(facts[szPart + "file"]);
        else if (!facts[szPart + "file"].empty())
            szBody += ReadFile(facts[szPart + "file"]);
    }
    EXPECT_EQ(szAttachment, szContent); // the control file travels byte for byte
    // Every field in the map's order; the long path line is wrapped at its blank. (The reader gives
    // the text part's lines with LF ends.)
    szBody.erase(std::remove(szBody.begin(), szBody.end(), '\r'), szBody.end());
    EXPECT_EQ(szBody.find("Waiting for document failed.\nDetails:.\n#CN: Acme\nFile:\n" + pdf.string() +
                          "\nRespondEmail: clerk@example.com\nThis is an automatically generated message.\n"
                          "Please don't reply to this e-mail"),
              0u)
        << szBody;
}

TEST_F(TxtFileTest, MissingDocumentIsGivenUpAndDeletedWithTheReportToTheDefaultAddress)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    CSmtpSink sink;
    ASSERT_TRUE(sink.Start()) << sink.Error();
    m_pParams->m_nEmPort = sink.Port();
    m_pParams->m_bMoveErr = 0;
    const std::wstring szPath = WriteControl("lost.txt", "File: never.pdf\nRespondEmail: no-address\n");
    const std::string szDocument = (m_root / "docs" / "never.pdf").string();
    CTxtFile file(szPath, m_pParams.get());
    EXPECT_FALSE(file.Process());
    EXPECT_FALSE(file.Process());
    EXPECT_EQ(file.GetState(), CTxtFile::kStatePending);
    EXPECT_FALSE(file.Process());
    EXPECT_EQ(file.GetState(), CTxtFile::kStateFinished);
    for (int n = 1; n <= 2; ++n)
        EXPECT_EQ(Count("3009", "File '" + szDocument + "' not exists. Attempt " + std::to_string(n)), 1);
    EXPECT_EQ(Count("3009", "File '" + szDocument + "' not exists. Attempt 3"), 0);
    EXPECT_EQ(Count("0036", "Failed to process incoming file. Number of attempts exceeded."), 1);
    EXPECT_FALSE(fs::exists(szPath));
    EXPECT_TRUE(fs::is_empty(m_root / "err"));
    ASSERT_TRUE(sink.WaitForMessages(1)) << sink.Error();
    EXPECT_EQ(sink.Read(1).m_vRcptTos, std::vector<std::string>{"default@example.org"});
}

TEST_F(TxtFileTest, UndeliverableReportStillMovesTheControlFile)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return;                 // ran in a process of its own, with its own log beside its executable
    m_pParams->m_nAttempts = 0; // the first attempt is already past the limit
    const std::wstring szPath = WriteControl("noserver.txt", "File: x.pdf\nRespondEmail: a@b.c\n");
    CTxtFile file(szPath, m_pParams.get());
    EXPECT_FALSE(file.Process());
    EXPECT_EQ(file.GetState(), CTxtFile::kStateFinished);
    int nFailed = 0;
    for (const SRecord& record : Records())
        nFailed += record.szCode == "0036" &&
                   record.szMessage.rfind("E-mail delivery failed to recipient(s): a@b.c. ", 0) == 0;
    EXPECT_EQ(nFailed, 1);
    EXPECT_TRUE(fs::exists(m_root / "err" / "noserver.txt"));
    EXPECT_FALSE(fs::exists(szPath));
}

TEST_F(TxtFileTest, ParseFailuresMissingPathsAndDocumentsThatDoNotOpenAreLoggedPerAttempt)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    const std::wstring szNoPath = WriteControl("nopath.txt", "Fax: 0815\nno delimiter\n#DT: today\n");
    CTxtFile noPath(szNoPath, m_pParams.get());
    EXPECT_FALSE(noPath.Process());
    EXPECT_EQ(Count("3009", "Delimiter wasn't found. "), 1);
    EXPECT_EQ(Count("3009", "Failed to parse TXT file " + Narrow(szNoPath) + ". Attempt 1"), 1);
    EXPECT_EQ(
        Count("3009", "Failed to extract a valid PDF path from file " + Narrow(szNoPath) + ". Attempt 1. "),
        1);
    EXPECT_EQ(Count("3009", "#DT: today, Fax: 0815"), 1);

    std::ofstream(m_root / "docs" / "broken.pdf", std::ios::binary) << "%PDF-1.4\nthis is no document\n";
    const std::wstring szBroken = WriteControl("broken.txt", "File: broken.pdf\n");
    CTxtFile broken(szBroken, m_pParams.get());
    EXPECT_FALSE(broken.Process());
    EXPECT_EQ(Count("3009",
                    "Failed to open document '" + (m_root / "docs" / "broken.pdf").string() + "'. Attempt 1"),
              1);

    std::ofstream(m_root / "docs" / "letter.doc", std::ios::binary) << "words";
    const std::wstring szUnknown = WriteControl("unknown.txt", "File: letter.doc\n");
    CTxtFile unknown(szUnknown, m_pParams.get());
    EXPECT_FALSE(unknown.Process());
    // A kind the document factory does not know gives a document that never opens.
    EXPECT_EQ(Count("3009",
                    "Failed to open document '" + (m_root / "docs" / "letter.doc").string() + "'. Attempt 1"),
              1);

    // None of them was released, and each stays pending for the next pass.
    EXPECT_TRUE(fs::is_empty(m_root / "out"));
    EXPECT_EQ(broken.GetState(), CTxtFile::kStatePending);
    EXPECT_TRUE(fs::exists(szBroken));
}

TEST_F(TxtFileTest, VanishedControlFileIsDroppedAndCaseDifferingPathsAreTwoRecords)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    const std::wstring szLower = WriteControl("gone.txt", "File: x.pdf\n");
    const std::wstring szUpper = WriteControl("GONE.txt", "File: x.pdf\n");
    CTxtFiles files;
    EXPECT_TRUE(files.Add(new CTxtFile(szLower, m_pParams.get())));
    EXPECT_TRUE(files.Add(new CTxtFile(szUpper, m_pParams.get())));
    fs::remove(szLower);
    files.ProcessAll();
    ASSERT_EQ(files.Count(), 1u);
    EXPECT_EQ(files.Files().front()->GetPath(), szUpper);
    EXPECT_EQ(Count("3009", "Skip reading new TXT file " + Narrow(szLower)), 0);
}

} // namespace
