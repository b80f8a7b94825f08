// The service end to end: the real tarvik program started from a copy of bin/ in a temporary
// directory, with its named objects and registry inside it, driven through its directories.
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CSmtpSink.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

using tests::ReadFile;
using tests::Utf16Ini;
using tests::WaitUntil;

class ServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "without a desktop only the system account (root) starts without the warning";
        m_pEnv = std::make_unique<CIsolatedEnvironment>(CIsolatedEnvironment::kHeadless);
        m_root = m_pEnv->Directory().Path();
        for (const char* szDir : {"in", "out", "err", "docs", "cwd"})
            fs::create_directories(m_root / szDir);
        fs::copy(TARVIK_BIN_DIR, m_root / "bin", fs::copy_options::recursive);
        // A run from the build's own bin/ (the demo) leaves its log and settings there; start afresh.
        for (const char* szLeftover : {"tarvik.log", "tarvik.old.log", "tarvik.ini"})
            fs::remove(m_root / "bin" / szLeftover);
        ASSERT_TRUE(m_sink.Start()) << m_sink.Error();
    }

    void TearDown() override
    {
        m_services.clear(); // killed and reaped
        m_pEnv.reset();
    }

    void WriteIni(int nAttempts, int nMoveErr, const std::string& szInDir)
    {
        std::string sz =
            "[General]\r\nAttemptTimeout=1\r\nTxtInDir=" + szInDir +
            "\r\nTxtOutDir=" + (m_root / "out").string() + "\r\nPdfDefDir=" + (m_root / "docs").string() +
            "\r\nAttempts=" + std::to_string(nAttempts) + "\r\nMoveErr=" + std::to_string(nMoveErr) +
            "\r\nTxtErrDir=" + (m_root / "err").string() +
            "\r\n[E-mail]\r\nDefEmail=default@example.org\r\nEmSmtpServer=127.0.0.1\r\n"
            "EmSenderEmail=tarvik@example.org\r\nEmSenderName=Tarvik\r\nEmSubject=Document failed\r\n"
            "EmPort=" +
            std::to_string(m_sink.Port()) + "\r\n";
        ASSERT_TRUE(tests::WriteFile(m_root / "bin" / "tarvik.ini", Utf16Ini(sz)));
    }

    // Starts the program from the copy of bin/ in the working directory cwd/; the fixture owns it.
    CTestProcess* Start()
    {
        m_services.push_back(std::make_unique<CTestProcess>());
        CTestProcess* pService = m_services.back().get();
        CTestProcess::SOptions options;
        options.m_workingDir = m_root / "cwd";
        EXPECT_TRUE(pService->Start({(m_root / "bin" / "tarvik").string()}, options)) << pService->Error();
        // Started once the engine logged its start.
        EXPECT_TRUE(WaitUntil(
            [this]() { return Log().find("monitoring service started") != std::string::npos; }, 60s));
        return pService;
    }

    // Ends the process with the signal; its exit code (-1000 - the signal when it did not exit).
    int End(CTestProcess* pService, int nSignal)
    {
        pService->Signal(nSignal);
        return pService->Wait();
    }

    std::string Log() const { return ReadFile(m_root / "bin" / "tarvik.log"); }

    fs::path MakePdf(const std::string& szName)
    {
        fs::path path = m_root / "docs" / szName;
        EXPECT_TRUE(tests::MakeOnePagePdf(path, "Invoice"));
        return path;
    }

    fs::path WriteControl(const fs::path& path, const std::string& szContent, bool bOld)
    {
        std::ofstream(path, std::ios::binary) << szContent;
        if (bOld)
            fs::last_write_time(path, fs::file_time_type::clock::now() - 60s);
        return path;
    }

    std::unique_ptr<CIsolatedEnvironment> m_pEnv; // made after the root check
    fs::path m_root;
    CSmtpSink m_sink;
    std::vector<std::unique_ptr<CTestProcess>> m_services;
};

TEST_F(ServiceTest, ReleasesPdfTiffAndSubdirectoryControlFilesAndLogsSixFields)
{
    WriteIni(10, 1, (m_root / "in").string());
    fs::path pdf = MakePdf("invoice.pdf");
    fs::path tif = m_root / "docs" / "fax.tif";
    ASSERT_EQ(CTestProcess::Run({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=tiffg4", "-r100", "-o",
                                 tif.string(), "-c", "showpage showpage showpage"}),
              0);
    CTestProcess* pService = Start();

    fs::create_directories(m_root / "in" / "sub");
    auto tWritten = std::chrono::steady_clock::now();
    WriteControl(m_root / "in" / "a.txt", "File: " + pdf.string() + "\r\nRespondEmail: a@example.org\r\n",
                 false);
    WriteControl(m_root / "in" / "b.txt", "File: fax.tif\r\n", false); // bare name: looked for in PdfDefDir
    WriteControl(m_root / "in" / "sub" / "c.txt", "#SX: " + pdf.string() + "\n", false);
    // Fresh files spend five seconds being too young; then one pass of AttemptTimeout 1 releases them.
    EXPECT_TRUE(WaitUntil(
        [this]()
        {
            return fs::exists(m_root / "out" / "a.txt") && fs::exists(m_root / "out" / "b.txt") &&
                   fs::exists(m_root / "out" / "c.txt");
        },
        60s));
    auto dElapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - tWritten).count();
    RecordProperty("release_seconds", std::to_string(dElapsed));
    EXPECT_FALSE(fs::exists(m_root / "in" / "a.txt"));
    EXPECT_FALSE(fs::exists(m_root / "in" / "sub" / "c.txt"));
    EXPECT_FALSE(fs::exists(m_root / "out" / "sub"));
    EXPECT_TRUE(fs::exists(pdf)); // the document itself stays where it is
    EXPECT_EQ(End(pService, SIGTERM), 0);

    std::string szLog = Log();
    EXPECT_NE(szLog.find("Skip reading new TXT file " + (m_root / "in" / "a.txt").string()),
              std::string::npos);
    std::regex line(R"(^\d,\d{4,},[^,]+,\d\d/\d\d/\d{4},\d\d:\d\d:\d\d\.\d{3},.*\r$)");
    std::istringstream lines(szLog);
    std::string szLine;
    int nLines = 0;
    while (std::getline(lines, szLine))
    {
        ++nLines;
        EXPECT_TRUE(std::regex_match(szLine, line)) << szLine;
    }
    EXPECT_GT(nLines, 3);
    EXPECT_NE(szLog.find("4,4004,Process info,"), std::string::npos);
    EXPECT_NE(szLog.find("3,3009,"), std::string::npos);
}

TEST_F(ServiceTest, GivesUpAfterAttemptsMailsTheControlFileAndMovesItToErrorDirectory)
{
    WriteIni(3, 1, (m_root / "in").string());
    MakePdf("present.pdf");
    // A control file whose name is taken in the outgoing directory is never moved over it.
    std::ofstream(m_root / "out" / "dup.txt") << "earlier";
    fs::path dup =
        WriteControl(m_root / "in" / "dup.txt", "File: present.pdf\r\nRespondEmail: bad-address\r\n", true);
    const std::string szMissing = (m_root / "docs" / "never.pdf").string();
    const std::string szContent =
        "File: " + szMissing + "\r\nRespondEmail: user@example.org\r\n#CN: Nordal\r\n";
    fs::path control = WriteControl(m_root / "in" / "gone.txt", szContent, true);
    CTestProcess* pService = Start();

    ASSERT_TRUE(m_sink.WaitForMessages(2, 90s)) << m_sink.Error();
    EXPECT_TRUE(WaitUntil(
        [&]() { return fs::exists(m_root / "err" / "gone.txt") && fs::exists(m_root / "err" / "dup.txt"); },
        30s));
    EXPECT_FALSE(fs::exists(control));
    EXPECT_EQ(ReadFile(m_root / "err" / "gone.txt"), szContent);
    EXPECT_EQ(ReadFile(m_root / "out" / "dup.txt"), "earlier");
    EXPECT_EQ(End(pService, SIGTERM), 0);

    std::string szLog = Log();
    for (int n = 1; n <= 3; ++n)
        EXPECT_NE(szLog.find("File '" + szMissing + "' not exists. Attempt " + std::to_string(n)),
                  std::string::npos)
            << n;
    EXPECT_EQ(szLog.find("File '" + szMissing + "' not exists. Attempt 4"), std::string::npos);
    EXPECT_NE(szLog.find("0,0036,Document monitoring service error,"), std::string::npos);
    EXPECT_NE(szLog.find("Failed to process incoming file. Number of attempts exceeded."), std::string::npos);
    EXPECT_NE(szLog.find("The e-mail was successfully delivered to recipient(s): user@example.org. "),
              std::string::npos);
    EXPECT_NE(szLog.find("The e-mail was successfully delivered to recipient(s): default@example.org. "),
              std::string::npos);

    // Which mail is which depends on the listing order; find the one for gone.txt.
    bool bFound = false;
    for (int n = 1; n <= 2; ++n)
    {
        CSmtpSink::SMessage msg = m_sink.Read(n);
        ASSERT_EQ(msg.m_vRcptTos.size(), 1u);
        if (msg.m_vRcptTos[0] != "user@example.org")
        {
            EXPECT_EQ(msg.m_vRcptTos[0], "default@example.org");
            continue;
        }
        bFound = true;
        fs::path extract = m_root / "extract";
        fs::create_directories(extract);
        std::string szOut = m_root / "parsed.txt";
        CTestProcess::SOptions options;
        options.m_outputFile = szOut;
        ASSERT_EQ(CTestProcess::Run({"/usr/bin/python3",
                                     std::string(TARVIK_SOURCE_DIR) + "/tests/support/parse_mail.py",
                                     msg.m_szEmlPath, "--extract", extract.string()},
                                    options),
                  0);
        std::string szParsed = ReadFile(szOut);
        EXPECT_NE(szParsed.find("\"gone.txt\""), std::string::npos) << szParsed;
        bool bAttachment = false;
        for (const auto& entry : fs::directory_iterator(extract))
            bAttachment = bAttachment || ReadFile(entry.path()) == szContent;
        EXPECT_TRUE(bAttachment) << szParsed;
        EXPECT_NE(szParsed.find("Waiting for document failed."), std::string::npos);
    }
    EXPECT_TRUE(bFound);
}

TEST_F(ServiceTest, GivenUpControlFileIsDeletedWithoutMoveErr)
{
    WriteIni(3, 0, (m_root / "in").string());
    fs::path control = WriteControl(m_root / "in" / "x.txt", "File: /nowhere/x.pdf\r\n", true);
    CTestProcess* pService = Start();
    ASSERT_TRUE(m_sink.WaitForMessages(1, 90s)) << m_sink.Error();
    EXPECT_TRUE(WaitUntil([&]() { return !fs::exists(control); }, 30s));
    EXPECT_EQ(m_sink.Read(1).m_vRcptTos, std::vector<std::string>{"default@example.org"});
    EXPECT_FALSE(fs::exists(m_root / "err" / "x.txt"));
    EXPECT_EQ(End(pService, SIGTERM), 0);
}

TEST_F(ServiceTest, ReleasesOnlyAfterTheWriterClosedTheDocument)
{
    WriteIni(40, 1, (m_root / "in").string());
    fs::path source = MakePdf("source.pdf");
    fs::path target = m_root / "docs" / "growing.pdf";
    fs::path done = m_root / "writer-done";
    // A second process writes the document in pieces over about 15 seconds.
    std::string szScript = "import sys,time\n"
                           "data=open(sys.argv[1],'rb').read()\n"
                           "n=15\n"
                           "f=open(sys.argv[2],'wb')\n"
                           "for i in range(n):\n"
                           "    if i: time.sleep(1)\n"
                           "    f.write(data[i*len(data)//n:(i+1)*len(data)//n]); f.flush()\n"
                           "f.close()\n"
                           "open(sys.argv[3],'w').close()\n";
    std::ofstream(m_root / "writer.py") << szScript;
    CTestProcess* pService = Start();
    CTestProcess writer;
    ASSERT_TRUE(writer.Start({"/usr/bin/python3", (m_root / "writer.py").string(), source.string(),
                              target.string(), done.string()}))
        << writer.Error();
    WriteControl(m_root / "in" / "g.txt", "File: " + target.string() + "\r\n", true);

    ASSERT_TRUE(WaitUntil([&]() { return fs::exists(m_root / "out" / "g.txt"); }, 120s));
    // Pieces only grow the file: a smaller size now means it was released while still being written.
    EXPECT_EQ(fs::file_size(target), fs::file_size(source)) << "released while the writer still wrote";
    EXPECT_TRUE(WaitUntil([&]() { return fs::exists(done); }, 30s));
    writer.Wait();
    EXPECT_EQ(End(pService, SIGTERM), 0);
}

TEST_F(ServiceTest, SingleInstanceSignalsAndSavedSettings)
{
    // An empty TxtInDir: nothing is listed, not even the working directory's control files.
    WriteIni(5, 1, "");
    fs::path bait = WriteControl(m_root / "cwd" / "bait.txt", "File: /x.pdf\r\n", true);
    CTestProcess* pFirst = Start();

    // A second start with -autostart ends at once and silently; the first keeps running.
    EXPECT_EQ(CTestProcess::Run({(m_root / "bin" / "tarvik").string(), "-AutoStart"}), 0);
    std::this_thread::sleep_for(3s); // several passes of the first instance
    int nFirstEnd = 0;
    EXPECT_FALSE(pFirst->WaitFor(0, nFirstEnd)) << "the first instance ended with " << nFirstEnd;
    EXPECT_TRUE(fs::exists(bait));
    EXPECT_TRUE(fs::is_empty(m_root / "out"));
    EXPECT_EQ(Log().find("3009"), std::string::npos);

    // SIGKILL leaves no claim behind: a new start runs.
    EXPECT_EQ(End(pFirst, SIGKILL), -1000 - SIGKILL);
    fs::remove(m_root / "bin" / "tarvik.log");
    CTestProcess* pSecond = Start();
    EXPECT_EQ(End(pSecond, SIGTERM), 0);
    EXPECT_NE(Log().find("4,4004,Process info,"), std::string::npos);
    EXPECT_NE(Log().find("Documents monitoring service finished"), std::string::npos);

    std::string szIni = ReadFile(m_root / "bin" / "tarvik.ini");
    ASSERT_GE(szIni.size(), 2u);
    EXPECT_EQ(szIni.substr(0, 2), "\xFF\xFE");
    for (const char* szKey : {"AttemptTimeout=1", "TxtInDir=", "TxtOutDir=", "PdfDefDir=", "Attempts=5",
                              "MoveErr=1", "TxtErrDir=", "DefEmail=", "EmSmtpServer=", "EmSenderEmail=",
                              "EmSenderName=", "EmSubject=", "EmPort="})
        EXPECT_NE(szIni.find(Utf16Ini(szKey).substr(2)), std::string::npos) << szKey;
}

} // namespace
