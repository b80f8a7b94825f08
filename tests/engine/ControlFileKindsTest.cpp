// Control files and documents that are not regular files (FIFOs, symbolic links) and control files
// above the parser's bound: the attempts fail at once with a text that names the path and what it
// is, nothing is read through a link, and the report mail carries no attachment but says why.
#include "engine/CFileParser.h"
#include "engine/CTxtFile.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CSmtpSink.h"
#include "tests/support/CTestParams.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include "tests/engine/CIsolatedRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

using tests::ReadFile;

// Ends the test program when the test has not finished within a minute: a read that blocks on a FIFO
// fails the test instead of hanging it.
class CDeadline
{
public:
    CDeadline()
        : m_thread(
              [this]()
              {
                  std::unique_lock<std::mutex> lock(m_mutex);
                  if (!m_finished.wait_for(lock, 60s, [this]() { return m_bFinished; }))
                  {
                      std::fputs("the test did not finish within 60 s\n", stderr);
                      std::_Exit(1);
                  }
              })
    {
    }
    ~CDeadline()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bFinished = true;
        }
        m_finished.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_bFinished = false;
    std::thread m_thread;
};

// Makes a FIFO with the mkfifo tool.
bool MakeFifo(const fs::path& path)
{
    return CTestProcess::Run({"mkfifo", "-m", "644", path.string()}) == 0;
}

class ControlFileKindsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* szDir : {"in", "out", "err", "docs", "parts"})
            fs::create_directories(m_root / szDir);
        m_logPath = fs::read_symlink("/proc/self/exe").string() + ".log";
        m_pParams = std::make_unique<CTestParams>((m_root / "tarvik.ini").wstring());
        m_pParams->m_szTxtInDir = (m_root / "in").wstring() + L"/";
        m_pParams->m_szTxtOutDir = (m_root / "out").wstring() + L"/";
        m_pParams->m_szTxtErrDir = (m_root / "err").wstring() + L"/";
        m_pParams->m_szPdfDefDir = (m_root / "docs").wstring() + L"/";
        m_pParams->m_nAttempts = 1;
        m_pParams->m_bMoveErr = 1;
        m_pParams->m_szDefEmail = L"default@example.org";
        m_pParams->m_szEmSmtpServer = L"127.0.0.1";
        m_pParams->m_szEmSenderEmail = L"tarvik@example.org";
        m_pParams->m_szEmSenderName = L"Tarvik";
        m_pParams->m_szEmSubject = L"Document failed";
    }
    void TearDown() override { m_pParams.reset(); }

    void MakeOld(const fs::path& path) { fs::last_write_time(path, fs::file_time_type::clock::now() - 60s); }

    // The one report the sink received: its recipients, the names of its attachments and the text
    // of its other parts (LF line ends).
    struct SReport
    {
        std::vector<std::string> vRecipients;
        std::vector<std::string> vAttachments;
        std::string szBody;
    };
    SReport ReadReport(CSmtpSink& sink)
    {
        SReport report;
        EXPECT_TRUE(sink.WaitForMessages(1)) << sink.Error();
        CSmtpSink::SMessage message = sink.Read(1);
        report.vRecipients = message.m_vRcptTos;
        std::map<std::string, std::string> facts =
            CSmtpSink::ParseMail(message.m_szEmlPath, (m_root / "parts").string());
        EXPECT_EQ(facts["defects"], "0");
        for (int n = 0; n <= 4; ++n)
        {
            const std::string szPart = "part." + std::to_string(n) + ".";
            if (!facts[szPart + "filename"].empty())
                report.vAttachments.push_back(facts[szPart + "filename"]);
            else if (!facts[szPart + "file"].empty())
                report.szBody += ReadFile(facts[szPart + "file"]);
        }
        report.szBody.erase(std::remove(report.szBody.begin(), report.szBody.end(), '\r'),
                            report.szBody.end());
        return report;
    }

    bool Logged(const std::string& szText) { return ReadFile(m_logPath).find(szText) != std::string::npos; }

    CIsolatedEnvironment m_env{CIsolatedEnvironment::kPdfLibrary | CIsolatedEnvironment::kHeadless};
    // A root as long as a spool directory's may be: the report mail folds the control file's longer
    // lines, and the texts looked for must not be cut by a fold.
    const fs::path m_root =
        m_env.Directory().Path() /
        ("kinds-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::string m_logPath;
    std::unique_ptr<CTestParams> m_pParams;
};

TEST_F(ControlFileKindsTest, FifoControlFileFailsWithoutBlockingAndIsGivenUpWithoutAttachment)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return;               // ran in a process of its own, with its own log beside its executable
    const CDeadline deadline; // a read that blocks on the FIFO ends the test instead of hanging it
    CSmtpSink sink;
    ASSERT_TRUE(sink.Start()) << sink.Error();
    m_pParams->m_nEmPort = sink.Port();
    const fs::path fifo = m_root / "in" / "x.txt";
    ASSERT_TRUE(MakeFifo(fifo));

    CTxtFile file(fifo.wstring(), m_pParams.get());
    EXPECT_FALSE(file.Process());
    EXPECT_EQ(file.GetState(), CTxtFile::kStatePending);
    EXPECT_TRUE(
        Logged("TXT file " + fifo.string() + " is a FIFO, not a regular file; it is not read. Attempt 1"));
    EXPECT_FALSE(file.Process());
    EXPECT_EQ(file.GetState(), CTxtFile::kStateFinished);
    EXPECT_TRUE(Logged("Failed to process incoming file. Number of attempts exceeded."));

    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(m_root / "err" / "x.txt")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(fifo)));
    SReport report = ReadReport(sink);
    EXPECT_TRUE(report.vAttachments.empty());
    EXPECT_NE(report.szBody.find("Details:.\nNot attached: the control file is a FIFO, not a regular file.\n"
                                 "This is an automatically generated message.\n"),
              std::string::npos)
        << report.szBody;
}

TEST_F(ControlFileKindsTest, LinkedControlFileIsNeitherReadNorMailedAndFifoDocumentFailsAtOnce)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    const CDeadline deadline;
    CSmtpSink sink;
    ASSERT_TRUE(sink.Start()) << sink.Error();
    m_pParams->m_nEmPort = sink.Port();
    m_pParams->m_nAttempts = 0; // the first attempt gives up

    // The link's target looks like a control file with an address of its own.
    const fs::path secret = m_root / "secret";
    const std::string szSecret = "File: a.pdf\nRespondEmail: thief@example.com\nPassword: hunter2\n";
    std::ofstream(secret, std::ios::binary) << szSecret;
    MakeOld(secret);
    const fs::path link = m_root / "in" / "link.txt";
    fs::create_symlink(secret, link);

    CTxtFile linked(link.wstring(), m_pParams.get());
    EXPECT_FALSE(linked.Process());
    EXPECT_EQ(linked.GetState(), CTxtFile::kStateFinished);
    EXPECT_TRUE(linked.GetFields().empty());
    EXPECT_TRUE(Logged("TXT file " + link.string() +
                       " is a symbolic link, not a regular file; it is not read. Attempt 1"));
    // Neither the link nor what it points to is moved or deleted.
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_root / "err" / "link.txt")));
    EXPECT_TRUE(
        Logged("TXT file " + link.string() + " is a symbolic link now; it is neither moved nor deleted."));
    EXPECT_EQ(ReadFile(secret), szSecret);

    SReport report = ReadReport(sink);
    EXPECT_EQ(report.vRecipients, std::vector<std::string>{"default@example.org"});
    EXPECT_TRUE(report.vAttachments.empty());
    EXPECT_EQ(report.szBody.find("hunter2"), std::string::npos);
    EXPECT_NE(report.szBody.find("Not attached: the control file is a symbolic link, not a regular file.\n"),
              std::string::npos)
        << report.szBody;

    // A document that is a FIFO is refused before any document library opens (and waits on) it.
    m_pParams->m_nAttempts = 5;
    const fs::path doc = m_root / "docs" / "doc.pdf";
    ASSERT_TRUE(MakeFifo(doc));
    const fs::path control = m_root / "in" / "doc.txt";
    std::ofstream(control, std::ios::binary) << "File: " << doc.string() << "\n";
    MakeOld(control);
    CTxtFile waiting(control.wstring(), m_pParams.get());
    EXPECT_FALSE(waiting.Process());
    EXPECT_EQ(waiting.GetState(), CTxtFile::kStatePending);
    EXPECT_TRUE(Logged("File '" + doc.string() + "' is a FIFO, not a regular file. Attempt 1"));
    EXPECT_TRUE(fs::exists(control));
}

TEST_F(ControlFileKindsTest, ReportAttachesTheControlFileUpToTheParserBoundOnly)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    m_pParams->m_nAttempts = 0;
    m_pParams->m_bMoveErr = 0;
    const size_t nBound = CFileParser::kMaxFileBytes;
    for (size_t nSize : {nBound, nBound + 1})
    {
        CSmtpSink sink;
        ASSERT_TRUE(sink.Start()) << sink.Error();
        m_pParams->m_nEmPort = sink.Port();
        const fs::path control = m_root / "in" / ("big-" + std::to_string(nSize) + ".txt");
        std::string szContent = "File: none.pdf\nRespondEmail: clerk@example.com\n";
        szContent.resize(nSize, 'x');
        std::ofstream(control, std::ios::binary) << szContent;
        MakeOld(control);

        CTxtFile file(control.wstring(), m_pParams.get());
        EXPECT_FALSE(file.Process());
        EXPECT_FALSE(fs::exists(control));
        SReport report = ReadReport(sink);
        EXPECT_EQ(report.vRecipients, std::vector<std::string>{"clerk@example.com"});
        const std::string szNote = "Not attached: the control file has " + std::to_string(nSize) +
                                   " bytes (limit " + std::to_string(nBound) + ").\n";
        if (nSize == nBound)
        {
            EXPECT_EQ(report.vAttachments, std::vector<std::string>{control.filename().string()});
            EXPECT_EQ(report.szBody.find("Not attached"), std::string::npos);
        }
        else
        {
            EXPECT_TRUE(report.vAttachments.empty());
            EXPECT_NE(report.szBody.find(szNote), std::string::npos) << report.szBody;
        }
    }
}

} // namespace

TEST_F(ControlFileKindsTest, ControlFileWithASecondNameIsNotReadAndStaysWhenGivenUp)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    CSmtpSink sink;
    ASSERT_TRUE(sink.Start()) << sink.Error();
    m_pParams->m_nEmPort = sink.Port();
    m_pParams->m_nAttempts = 0; // the first attempt gives up
    m_pParams->m_bMoveErr = 0;

    // Another name of the same file outside the spool, as a hard link made by someone else would be.
    const fs::path other = m_root / "parts" / "other";
    const std::string szContent = "File: a.pdf\nRespondEmail: thief@example.com\nPassword: hunter2\n";
    std::ofstream(other, std::ios::binary) << szContent;
    MakeOld(other);
    const fs::path control = m_root / "in" / "twin.txt";
    fs::create_hard_link(other, control);

    CTxtFile file(control.wstring(), m_pParams.get());
    EXPECT_FALSE(file.Process());
    EXPECT_EQ(file.GetState(), CTxtFile::kStateFinished);
    EXPECT_TRUE(file.GetFields().empty());
    EXPECT_TRUE(Logged("TXT file " + control.string() + " is a file with 2 names"));
    EXPECT_TRUE(Logged("it is neither moved nor deleted."));
    EXPECT_EQ(ReadFile(control), szContent);
    EXPECT_EQ(ReadFile(other), szContent);

    SReport report = ReadReport(sink);
    EXPECT_EQ(report.vRecipients, std::vector<std::string>{"default@example.org"});
    EXPECT_TRUE(report.vAttachments.empty());
    EXPECT_EQ(report.szBody.find("hunter2"), std::string::npos);
}
