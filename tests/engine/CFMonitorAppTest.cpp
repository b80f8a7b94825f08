// The monitor engine on real directories and a real user-interface thread: the first pass at once,
// heartbeats, a new file waking the loop, stop and restart, and the quit signal with its close
// message.
#include "engine/CFMonitorApp.h"

#include "config/CFMParams.h"
#include "engine/CTxtFile.h"
#include "platform/Thread.h"
#include "platform/ThreadMessages.h"

#include "tests/engine/CIsolatedRun.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CLoopbackListener.h"

#include "tests/support/TestFiles.h"
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

constexpr uint32_t kMarker = platform::kWmUser + 7;

using tests::ReadFile;
using tests::WaitUntil;

// A thread with a message queue that records every message posted to it, as the UI thread would get
// them.
class CUiThread
{
public:
    CUiThread()
    {
        std::promise<uint32_t> id;
        std::future<uint32_t> future = id.get_future();
        m_thread = std::thread(
            [this, &id]()
            {
                platform::CreateMessageQueue();
                id.set_value(platform::GetCurrentThreadId());
                platform::SThreadMessage msg;
                while (platform::GetThreadMessage(msg) > 0)
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_messages.push_back(msg.nMessage);
                    m_cv.notify_all();
                }
                platform::DestroyMessageQueue();
            });
        m_nId = future.get();
    }
    ~CUiThread()
    {
        platform::PostThreadMessage(m_nId, platform::kWmQuit, 0, 0);
        m_thread.join();
    }
    uint32_t Id() const { return m_nId; }

    // Waits until the recorded messages satisfy the predicate.
    bool WaitFor(const std::function<bool(const std::vector<uint32_t>&)>& ready,
                 std::chrono::seconds timeout = 60s)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&]() { return ready(m_messages); });
    }
    // Waits until every message posted so far has been received, then returns them.
    std::vector<uint32_t> Drain()
    {
        platform::PostThreadMessage(m_nId, kMarker, 0, 0);
        EXPECT_TRUE(WaitFor([](const std::vector<uint32_t>& messages)
                            { return std::count(messages.begin(), messages.end(), kMarker) > 0; }));
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<uint32_t> messages = m_messages;
        m_messages.clear();
        messages.erase(std::remove(messages.begin(), messages.end(), kMarker), messages.end());
        return messages;
    }
    static size_t Heartbeats(const std::vector<uint32_t>& messages)
    {
        return static_cast<size_t>(std::count(messages.begin(), messages.end(), WM_ENGINE_HEARTBEAT));
    }

private:
    std::thread m_thread;
    uint32_t m_nId = 0;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<uint32_t> m_messages;
};

class MonitorAppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* szDir : {"in/sub", "out", "err", "docs", "staging"})
            fs::create_directories(m_root / szDir);
        const std::string szExe = fs::read_symlink("/proc/self/exe").string();
        m_logPath = szExe + ".log";
    }

    void Configure(CFMonitorApp& engine, int32_t nAttemptTimeout)
    {
        CFMParams& params = *engine.GetParams();
        params.m_nAttemptTimeout = nAttemptTimeout;
        params.m_szTxtInDir = (m_root / "in").wstring() + L"/";
        params.m_szTxtOutDir = (m_root / "out").wstring() + L"/";
        params.m_szTxtErrDir = (m_root / "err").wstring() + L"/";
        params.m_szPdfDefDir = (m_root / "docs").wstring() + L"/";
        params.m_nAttempts = 10;
        params.m_nEmPort = 1;
        params.m_szEmSmtpServer = L"127.0.0.1";
    }

    void MakePdf(const std::string& szName)
    {
        ASSERT_TRUE(tests::MakeOnePagePdf(m_root / "docs" / szName, "x"));
    }

    // A control file past the age rule, written outside the incoming directory and moved in, so that
    // it arrives whole and already old.
    void DropControl(const std::string& szName, const std::string& szContent)
    {
        const fs::path staged = m_root / "staging" / szName;
        std::ofstream(staged, std::ios::binary) << szContent;
        fs::last_write_time(staged, fs::file_time_type::clock::now() - 60s);
        fs::rename(staged, m_root / "in" / szName);
    }

    size_t LogCount(const std::string& szText) const
    {
        const std::string szLog = ReadFile(m_logPath);
        size_t n = 0;
        for (size_t nAt = szLog.find(szText); nAt != std::string::npos; nAt = szLog.find(szText, nAt + 1))
            ++n;
        return n;
    }

    CIsolatedEnvironment m_env{CIsolatedEnvironment::kPdfLibrary | CIsolatedEnvironment::kHeadless};
    const fs::path m_root = m_env.Directory().Path();
    std::string m_logPath;
};

TEST_F(MonitorAppTest, FirstPassRunsAtOnceAnAddedFileWakesTheLoopAndStopEndsIt)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    MakePdf("first.pdf");
    MakePdf("second.pdf");
    DropControl("first.txt", "File: first.pdf\n");
    CUiThread ui;
    CFMonitorApp engine;
    Configure(engine, 600); // a pass that is not woken would come only after ten minutes
    ASSERT_TRUE(engine.ClaimSingleInstance(true));
    engine.SetUiThreadId(ui.Id());
    EXPECT_FALSE(engine.IsStopped());
    ASSERT_TRUE(engine.Start());
    EXPECT_FALSE(engine.IsStopped());

    // The wake event starts set: the first pass does not wait for the time-out.
    ASSERT_TRUE(WaitUntil([&]() { return fs::exists(m_root / "out" / "first.txt"); }));
    EXPECT_TRUE(ui.WaitFor([](const std::vector<uint32_t>& messages)
                           { return CUiThread::Heartbeats(messages) >= 1; }));

    // A file moved in wakes the loop long before the time-out.
    DropControl("second.txt", "File: second.pdf\n");
    ASSERT_TRUE(WaitUntil([&]() { return fs::exists(m_root / "out" / "second.txt"); }));

    ASSERT_TRUE(engine.Stop());
    EXPECT_TRUE(engine.IsStopped());
    EXPECT_EQ(LogCount("Documents monitoring service finished"), 1u);
    EXPECT_EQ(LogCount("The current process stopped responding"), 0u);
    std::vector<uint32_t> messages = ui.Drain();
    // One heartbeat after each wait: the first pass, the wake-up and the stop.
    EXPECT_GE(CUiThread::Heartbeats(messages), 3u);
    // The stop event ended the loop: no close message for the user interface.
    EXPECT_EQ(std::count(messages.begin(), messages.end(), platform::kWmClose), 0);

    // A restart runs a new thread, which waits for its time-out or a new file (the wake event was
    // used up by the passes before).
    ASSERT_TRUE(engine.Start());
    EXPECT_FALSE(engine.IsStopped());
    EXPECT_TRUE(WaitUntil([&]() { return LogCount("Documents monitoring service started by ") == 2; }));
    // The new thread's watch is in place only once it reached its loop, which shows nowhere: files
    // are dropped until one wakes it (its time-out of ten minutes would not).
    bool bWoken = false;
    for (int i = 0; i < 60 && !bWoken; ++i)
    {
        const std::string szName = "third-" + std::to_string(i) + ".txt";
        DropControl(szName, "File: missing.pdf\n");
        bWoken = WaitUntil(
            [&]() {
                return LogCount("File '" + (m_root / "docs" / "missing.pdf").string() +
                                "' not exists. Attempt 1") >= 1;
            },
            1s);
    }
    EXPECT_TRUE(bWoken);
    engine.Stop();
    EXPECT_EQ(LogCount("Documents monitoring service finished"), 2u);
    EXPECT_TRUE(fs::exists(m_root / "in" / "third-0.txt")); // pending, not released
}

TEST_F(MonitorAppTest, WithoutWaitingEveryPassPostsAHeartbeatAndAFileKeepsOneRecord)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    // Dated an hour ahead, the control file stays young on every pass: it is never read.
    const fs::path path = m_root / "in" / "sub" / "future.txt";
    std::ofstream(path) << "File: x.pdf\n";
    fs::last_write_time(path, fs::file_time_type::clock::now() + 3600s);
    CUiThread ui;
    CFMonitorApp engine;
    Configure(engine, 0);
    engine.SetUiThreadId(ui.Id());
    engine.Start();
    ASSERT_TRUE(ui.WaitFor([](const std::vector<uint32_t>& messages)
                           { return CUiThread::Heartbeats(messages) >= 20; }));
    engine.Stop();
    ASSERT_EQ(engine.GetTxtFiles().Count(), 1u);
    const CTxtFile* pFile = engine.GetTxtFiles().Files().front();
    EXPECT_EQ(pFile->GetPath(), path.wstring());
    EXPECT_GE(pFile->GetAttempts(), 19); // one attempt per pass, on the same record
    EXPECT_GE(LogCount("Skip reading new TXT file " + path.string()), 19u);
    EXPECT_TRUE(fs::exists(path));
}

TEST_F(MonitorAppTest, QuitSignalFromAnotherInstanceEndsTheLoopAndClosesTheUserInterface)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    CUiThread ui;
    CFMonitorApp running;
    Configure(running, 600);
    ASSERT_TRUE(running.ClaimSingleInstance(true));
    running.SetUiThreadId(ui.Id());
    running.Start();
    ASSERT_TRUE(WaitUntil([&]() { return LogCount("Documents monitoring service started by ") == 1; }));
    {
        // A second start is refused, quietly, and leaves the running one alone.
        CFMonitorApp second;
        EXPECT_FALSE(second.ClaimSingleInstance(true));
        EXPECT_FALSE(running.IsStopped());
        // The refused one asks the running instance to quit.
        second.SignalQuit();
    }
    EXPECT_TRUE(
        ui.WaitFor([](const std::vector<uint32_t>& messages)
                   { return std::count(messages.begin(), messages.end(), platform::kWmClose) == 1; }));
    EXPECT_TRUE(WaitUntil([&]() { return LogCount("Documents monitoring service finished") == 1; }));
    running.Stop();
    EXPECT_EQ(LogCount("The current process stopped responding"), 0u);
}

TEST_F(MonitorAppTest, OwnQuitSignalEndsTheLoopWithoutACloseMessage)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    CUiThread ui;
    CFMonitorApp engine;
    Configure(engine, 600);
    ASSERT_TRUE(engine.ClaimSingleInstance(true));
    engine.SetUiThreadId(ui.Id());
    engine.Start();
    ASSERT_TRUE(WaitUntil([&]() { return LogCount("Documents monitoring service started by ") == 1; }));
    // The application's own shutdown: quit signal, then stop.
    engine.SignalQuit();
    ASSERT_TRUE(WaitUntil([&]() { return LogCount("Documents monitoring service finished") == 1; }));
    engine.Stop();
    std::vector<uint32_t> messages = ui.Drain();
    EXPECT_GE(CUiThread::Heartbeats(messages), 1u);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), platform::kWmClose), 0);
}

TEST_F(MonitorAppTest, ThreadThatOutlivesStopIsLetGoAndTheNextThreadWorksAlone)
{
    if (CIsolatedRun::InParent(m_root / "exe"))
        return; // ran in a process of its own, with its own log beside its executable
    // A mail server that accepts the connection and never greets holds the give-up's report.
    CLoopbackListener silent;
    ASSERT_TRUE(silent.Listen());
    CFMonitorApp engine;
    Configure(engine, 0); // Stop waits one second
    engine.GetParams()->m_nAttempts = 0;
    engine.GetParams()->m_bMoveErr = 1;
    engine.GetParams()->m_nEmPort = silent.Port();
    DropControl("stuck.txt", "File: never.pdf\nRespondEmail: a@b.c\n");
    engine.Start();
    const int hPeer = silent.Accept(60000);
    ASSERT_GE(hPeer, 0);

    engine.Stop();
    EXPECT_TRUE(engine.IsStopped());
    EXPECT_TRUE(engine.HasLateThreads());
    EXPECT_EQ(LogCount("The current process stopped responding and will be terminated."), 1u);

    // The next thread starts on its own; the late one keeps the record it was working on.
    engine.GetParams()->m_nEmPort = 1;
    engine.Start();
    ASSERT_TRUE(WaitUntil([&]() { return fs::exists(m_root / "err" / "stuck.txt"); }));
    EXPECT_TRUE(engine.HasLateThreads());

    // Freed, the late thread finishes its pass, hands nothing back and ends.
    CLoopbackListener::CloseSocket(hPeer);
    silent.Close();
    ASSERT_TRUE(WaitUntil([&]() { return !engine.HasLateThreads(); }));
    EXPECT_EQ(LogCount("Documents monitoring service finished"), 1u);
    engine.Stop();
    EXPECT_EQ(LogCount("Documents monitoring service finished"), 2u);
    EXPECT_EQ(LogCount("The current process stopped responding and will be terminated."), 1u);
    EXPECT_EQ(engine.GetTxtFiles().Count(), 0u);
    EXPECT_EQ(ReadFile(m_root / "err" / "stuck.txt"), "File: never.pdf\nRespondEmail: a@b.c\n");
}

} // namespace
