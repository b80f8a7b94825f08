// The directory monitor's watch half: callbacks from the watch thread, same-directory Watch calls,
// a missing directory, and destruction while the thread waits.
#include "watch/CDirectoryMonitorEvent.h"
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

    bool WaitFor(const std::wstring& sz, std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, timeout,
                             [&]()
                             { return std::find(m_events.begin(), m_events.end(), sz) != m_events.end(); });
    }
    std::vector<std::wstring> Events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

private:
    void Record(const std::wstring& sz)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(sz);
        m_cv.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::wstring> m_events;
};

class DirectoryMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("tarvik-monitor-" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "watched" / "sub");
        fs::create_directories(m_dir / "bin");
        setenv("TARVIK_OBJECTS_DIR", (m_dir / "obj").c_str(), 1);
        setenv("TARVIK_REGISTRY_DIR", (m_dir / "reg").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
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
    std::ifstream log(fs::read_symlink("/proc/self/exe").string() + ".log", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
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
    bool bLogged = false;
    for (int i = 0; i < 600 && !bLogged; ++i)
    {
        bLogged = ReadLog().find(szEntry) != std::string::npos;
        if (!bLogged)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(bLogged);

    // The owner's next Watch of the same path, once it exists again, starts a new watch.
    fs::create_directories(watched / "again");
    monitor.Watch(&recorder, watched.wstring());
    std::ofstream(watched / "again" / "new.txt") << "x";
    EXPECT_TRUE(recorder.WaitFor(L"added again/new.txt"));
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
