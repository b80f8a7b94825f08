// Concurrent logging through rotation, and the thread-name registry.
// GCC 12 with the sanitizers reports a false "may be used uninitialized" inside the std::regex
// compiler's own code; it is not about this file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "log/CLogger.h"

#include "log/ErrorCodes.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"
#include "util/utf8_conversion.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{

::testing::Environment* const g_pEnvironment = ::testing::AddGlobalTestEnvironment(new CIsolatedEnvironment);

constexpr int kThreads = 8;
constexpr int kRecordsPerThread = 1000;
const int32_t kCodes[] = {36, 1014, 1016, 3009, 4004, 183, 2, 4002};

struct SLogContent
{
    int nMalformed = 0;
    int nRotationRecords = 0;
    std::map<int, std::vector<int>> sequences; // writer -> record numbers met
};

// Checks every line (six fields, category and code text matching the code, CR LF ending) and
// collects the numbers of the test's records.
void Scan(const std::string& szContent, SLogContent& content, std::string& szFirstBad)
{
    static const std::regex kLine(
        "^(-?\\d+),(\\d{4,}),([^,]*),\\d\\d/\\d\\d/\\d{4},\\d\\d:\\d\\d:\\d\\d\\.\\d{3},([^,]*)$");
    static const std::regex kMessage("^writer (\\d+) record (\\d+) x+$");
    size_t nStart = 0;
    while (nStart < szContent.size())
    {
        size_t nEnd = szContent.find('\n', nStart);
        std::string szLine =
            szContent.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
        nStart = nEnd == std::string::npos ? szContent.size() : nEnd + 1;
        std::smatch line;
        bool bGood = nEnd != std::string::npos && !szLine.empty() && szLine.back() == '\r';
        if (bGood)
            szLine.pop_back();
        bGood = bGood && std::regex_match(szLine, line, kLine);
        if (bGood)
        {
            int nCode = std::stoi(line[2].str());
            bGood = std::stoi(line[1].str()) == nCode / 1000 &&
                    line[3].str() == utf8_conversion::Encode(ErrorCodeText(nCode));
            std::smatch message;
            const std::string szMessage = line[4].str();
            if (nCode == 4003)
                ++content.nRotationRecords;
            else if (bGood && std::regex_match(szMessage, message, kMessage))
                content.sequences[std::stoi(message[1].str())].push_back(std::stoi(message[2].str()));
            else
                bGood = false;
        }
        if (!bGood)
        {
            if (content.nMalformed++ == 0)
                szFirstBad = szLine;
        }
    }
}

// Both files after exactly one rotation: every line well-formed, one rotation record in the fresh
// log, and every record of every writer there exactly once.
void ExpectAllRecordsAfterOneRotation(const CTempDir& dir, int nWriters, int nRecordsPerWriter)
{
    const fs::path backup = dir.Path() / "tarvik.old.log";
    ASSERT_TRUE(fs::exists(backup)) << "no rotation happened";
    // A rotation moves a log of more than the limit; a second rotation racing the first must not
    // have thrown that log away and left a small one in its place.
    EXPECT_GT(fs::file_size(backup), CLogger::kRotateSize);

    SLogContent content;
    std::string szFirstBad;
    Scan(tests::ReadFile(backup), content, szFirstBad);
    const std::string szCurrent = tests::ReadFile(dir.Path() / "tarvik.log");
    Scan(szCurrent, content, szFirstBad);
    EXPECT_EQ(content.nMalformed, 0) << "first malformed line: " << szFirstBad;
    EXPECT_EQ(content.nRotationRecords, 1);
    EXPECT_NE(szCurrent.find(",Logger info,"), std::string::npos);

    // Nothing was replaced yet, so every record of every writer is there exactly once.
    ASSERT_EQ(content.sequences.size(), static_cast<size_t>(nWriters));
    for (auto& [nWriter, numbers] : content.sequences)
    {
        std::sort(numbers.begin(), numbers.end());
        ASSERT_EQ(numbers.size(), static_cast<size_t>(nRecordsPerWriter)) << "writer " << nWriter;
        for (int i = 0; i < nRecordsPerWriter; ++i)
        {
            if (numbers[i] != i)
            {
                ADD_FAILURE() << "writer " << nWriter << " lost or doubled record " << i;
                break;
            }
        }
    }
}

} // namespace

TEST(CLoggerThreads, ConcurrentRecordsSurviveRotationWhole)
{
    TARVIK_SKIP_UNDER_WINE("concurrent writes through FILE_APPEND_DATA handles are not atomic appends: "
                           "a write can land at a stale end of file over another record");
    CTempDir dir;
    const std::wstring szLogPath = dir.Wide("tarvik.log");
    // About 170 bytes a record: 8,000 records make some 1.4 MB, so exactly one rotation happens and
    // every record must survive in one of the two files.
    const std::string szPadding(90, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                for (int i = 0; i < kRecordsPerThread; ++i)
                {
                    CLogger logger(szLogPath);
                    logger.Log(kCodes[(t + i) % 8], L"writer " + std::to_wstring(t) + L" record " +
                                                        std::to_wstring(i) + L" " +
                                                        std::wstring(szPadding.begin(), szPadding.end()));
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();

    ExpectAllRecordsAfterOneRotation(dir, kThreads, kRecordsPerThread);
}

TEST(CLoggerThreads, RecordsOfConcurrentProcessesNeverInterleave)
{
    TARVIK_SKIP_UNDER_WINE("concurrent writes through FILE_APPEND_DATA handles are not atomic appends: "
                           "a write can land at a stale end of file over another record");
    CTempDir dir;
    const std::string szLog = (dir.Path() / "tarvik.log").string();
    constexpr int kProcesses = 4;
    constexpr int kRecordsPerProcess = 2000;
    CTestProcess writers[kProcesses];
    CTestProcess::SOptions options;
    options.m_outputFile = tests::NullDevice();
    for (int p = 0; p < kProcesses; ++p)
        ASSERT_TRUE(writers[p].Start(
            {LOG_DEBUG_PROBE, "--flood", szLog, std::to_string(p), std::to_string(kRecordsPerProcess)},
            options))
            << writers[p].Error();
    for (CTestProcess& writer : writers)
        EXPECT_EQ(writer.Wait(), 0);
    ExpectAllRecordsAfterOneRotation(dir, kProcesses, kRecordsPerProcess);
}

TEST(CLoggerThreads, ThreadNamesArePerThreadAndTheFirstNameStays)
{
    std::wstring szUnnamed, szFirst, szSecond, szOther;
    std::thread(
        [&]
        {
            szUnnamed = ThreadName();
            szFirst = ThreadName(L"CFMonitorApp::OnMonitorProc", true);
            szSecond = ThreadName(L"File Monitor", true);
        })
        .join();
    EXPECT_EQ(szUnnamed, L"Undefined Thread");
    EXPECT_EQ(szFirst, L"CFMonitorApp::OnMonitorProc");
    EXPECT_EQ(szSecond, L"CFMonitorApp::OnMonitorProc");

    // Many threads registering and looking up at once each see their own name.
    std::vector<std::thread> threads;
    std::vector<std::wstring> seen(16);
    for (int t = 0; t < 16; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                ThreadName(L"Worker " + std::to_wstring(t), true);
                for (int i = 0; i < 100; ++i)
                    seen[t] = ThreadName();
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 16; ++t)
    {
        // A kernel thread id may be reused by a later thread, which then keeps the earlier name.
        EXPECT_NE(seen[t], L"Undefined Thread");
    }
    EXPECT_EQ(ThreadName(L"", true), ThreadName());
}
