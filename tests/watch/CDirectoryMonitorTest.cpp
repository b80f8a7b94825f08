// The directory monitor's watch half: callbacks from the watch thread, same-directory Watch calls,
// a missing directory, and destruction while the thread waits.
#include "platform/Thread.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/TestFiles.h"
#include "watch/CDirectoryMonitorEvent.h"
#include "watch/CDocInfo.h"
#include "watch/IDirectoryMonitor.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{

class CRecorder : public IDirectoryMonitor
{
public:
    void OnFileAdded(const std::wstring& sz) override { Record(L"added " + sz); }
    void OnFileRemoved(const std::wstring& sz) override { Record(L"removed " + sz); }
    void OnFileRenamedOldName(const std::wstring& sz) override { Record(L"old " + sz); }
    void OnFileRenamedNewName(const std::wstring& sz) override { Record(L"new " + sz); }
    // The file-list half reports every look at a record; only final states are kept, once per thread.
    void OnFileChecked(CDocInfo& info) override
    {
        if (info.m_nStatus == CDocInfo::kStatusPassed)
            Record(L"passed " + fs::path(info.m_szPath).filename().wstring(), true);
        else if (info.m_nStatus == CDocInfo::kStatusFailed)
            Record(L"failed " + fs::path(info.m_szPath).filename().wstring(), true);
    }
    void OnFileGone(CDocInfo& info) override
    {
        Record(L"gone " + fs::path(info.m_szPath).filename().wstring(), true);
    }

    bool WaitFor(const std::wstring& sz, std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, timeout,
                             [&]()
                             { return std::find(m_events.begin(), m_events.end(), sz) != m_events.end(); });
    }
    // The threads that reported this event.
    std::vector<uint32_t> ThreadsOf(const std::wstring& sz)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<uint32_t> ids;
        for (const auto& [szEvent, id] : m_threads)
        {
            if (szEvent == sz)
                ids.push_back(id);
        }
        return ids;
    }
    std::vector<std::wstring> Events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

private:
    void Record(const std::wstring& sz, bool bOncePerThread = false)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto entry = std::make_pair(sz, platform::GetCurrentThreadId());
        if (bOncePerThread && std::find(m_threads.begin(), m_threads.end(), entry) != m_threads.end())
            return;
        m_events.push_back(sz);
        m_threads.push_back(entry);
        m_cv.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::wstring> m_events;
    std::vector<std::pair<std::wstring, uint32_t>>
        m_threads; // each event with its thread (system id, not reused)
};

class DirectoryMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(m_dir / "watched" / "sub");
        fs::create_directories(m_dir / "bin");
    }
    CIsolatedEnvironment m_env{CIsolatedEnvironment::kPdfLibrary};
    const fs::path m_dir = m_env.Directory().Path();
};

TEST_F(DirectoryMonitorTest, ForwardsChangesInOrderAndKeepsOneThreadPerDirectory)
{
    CRecorder recorder;
    {
        CDirectoryMonitorEvent monitor;
        const std::wstring szWatched = (m_dir / "watched").wstring();
        monitor.Watch(&recorder, szWatched);
        // Watch returns with the whole subtree watched: a file made at once is seen.
        std::ofstream(m_dir / "watched" / "sub" / "a.txt") << "x";
        ASSERT_TRUE(recorder.WaitFor(L"added sub/a.txt"));
        // The same directory in another letter case changes nothing: the watch goes on.
        std::wstring szUpper = szWatched;
        for (wchar_t& ch : szUpper)
            ch = static_cast<wchar_t>(std::towupper(ch));
        monitor.Watch(&recorder, szUpper);
        fs::rename(m_dir / "watched" / "sub" / "a.txt", m_dir / "watched" / "b.txt");
        ASSERT_TRUE(recorder.WaitFor(L"new b.txt"));
        std::vector<std::wstring> events = recorder.Events();
        auto itOld = std::find(events.begin(), events.end(), L"old sub/a.txt");
        auto itNew = std::find(events.begin(), events.end(), L"new b.txt");
        ASSERT_NE(itOld, events.end());
        EXPECT_EQ(itOld + 1, itNew);
        fs::remove(m_dir / "watched" / "b.txt");
        ASSERT_TRUE(recorder.WaitFor(L"removed b.txt"));
    }
    size_t nBefore = recorder.Events().size();
    std::ofstream(m_dir / "watched" / "late.txt") << "x";
    // The monitor is gone: nothing more reaches the callback (its thread has ended).
    EXPECT_EQ(recorder.Events().size(), nBefore);
}

std::string ReadLog()
{
    return tests::ReadFile(fs::read_symlink("/proc/self/exe").string() + ".log");
}

TEST_F(DirectoryMonitorTest, DirectoryDeletedAndMadeAgainIsWatchedAgain)
{
    CRecorder recorder;
    CDirectoryMonitorEvent monitor;
    const fs::path watched = m_dir / "watched";
    monitor.Watch(&recorder, watched.wstring());
    fs::remove_all(watched);
    // The watch ends and says so: what lies at the path now is not the directory it followed.
    const std::string szEntry = "Failed to monitor directory '" + watched.string() + "'. ";
    ASSERT_TRUE(tests::WaitUntil([&] { return ReadLog().find(szEntry) != std::string::npos; }));

    // The owner's next Watch of the same path, once it exists again, starts a new watch.
    fs::create_directories(watched / "again");
    monitor.Watch(&recorder, watched.wstring());
    std::ofstream(watched / "again" / "new.txt") << "x";
    EXPECT_TRUE(recorder.WaitFor(L"added again/new.txt"));
}

// A one-page PDF made by Ghostscript.
void MakePdf(const fs::path& path)
{
    ASSERT_TRUE(tests::MakeOnePagePdf(path));
}

TEST_F(DirectoryMonitorTest, FileListHalfValidatesReportsGoneFilesAndRunsOneThreadAfterARestart)
{
    const fs::path watched = m_dir / "watched";
    MakePdf(watched / "good.pdf");
    MakePdf(m_dir / "bin" / "new.pdf");
    std::ofstream(watched / "sub" / "junk.pdf", std::ios::binary) << std::string(4096, 'x');
    std::ofstream(watched / "notes.txt") << "not a document";
    SDirMonParams params;
    params.m_szDirectory = watched.wstring();
    params.m_szMasks = L"*.pdf";
    params.m_nValidationTimeout = 2;
    params.m_nCheckInterval = 100;

    CRecorder recorder;
    CDirectoryMonitorEvent monitor;
    monitor.StartMonitoring(&recorder, params);
    ASSERT_TRUE(recorder.WaitFor(L"passed good.pdf"));
    ASSERT_TRUE(recorder.WaitFor(L"failed junk.pdf")); // never opens: fails at the time-out
    const std::vector<uint32_t> first = recorder.ThreadsOf(L"passed good.pdf");
    ASSERT_EQ(first.size(), 1u);
    fs::remove(watched / "good.pdf");
    ASSERT_TRUE(recorder.WaitFor(L"gone good.pdf"));

    // A restart replaces the file-list thread: the old one reports nothing more.
    monitor.StartMonitoring(&recorder, params);
    fs::rename(m_dir / "bin" / "new.pdf", watched / "new.pdf");
    ASSERT_TRUE(recorder.WaitFor(L"passed new.pdf"));
    const std::vector<uint32_t> later = recorder.ThreadsOf(L"passed new.pdf");
    EXPECT_EQ(std::count(later.begin(), later.end(), first[0]), 0);
    for (const std::wstring& szEvent : recorder.Events())
        EXPECT_EQ(szEvent.find(L"notes.txt"), std::wstring::npos) << szEvent;
}

TEST_F(DirectoryMonitorTest, MissingDirectoryIsReportedNotWatched)
{
    CRecorder recorder;
    {
        CDirectoryMonitorEvent monitor;
        monitor.Watch(&recorder, (m_dir / "missing").wstring());
    }
    EXPECT_TRUE(recorder.Events().empty());
    std::ifstream log(fs::read_symlink("/proc/self/exe").string() + ".log", std::ios::binary);
    std::string szLog((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(szLog.find("1,1016,"), std::string::npos);
    EXPECT_NE(szLog.find("Failed to monitor directory '" + (m_dir / "missing").string() + "'. "),
              std::string::npos);
}

} // namespace
