// The INI file accessor's Linux mechanisms: a write error during the conversion (a file-size limit),
// and SIGTERM ending the service program while it waits for the INI mutex (seen in /proc).
#include "config/CGlobalObjectsBuilder.h"
#include "config/CIniFile.h"
#include "tests/config/ConfigTestSupport.h"
#include "tests/support/CTempDir.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

using CIniFilePosixTest = CConfigTest;

TEST_F(CIniFilePosixTest, WriteErrorDuringConversionKeepsTheFile)
{
    std::string szOriginal =
        "[General]\r\nTxtInDir=/in\r\n[E-mail]\r\nEmSubject=" + std::string(3000, 's') + "\r\n";
    ASSERT_TRUE(WriteFile(NativePath("tarvik.ini"), szOriginal));

    // The converted copy is twice the size of the original, so it cannot be written whole.
    CTestProcess probe;
    ASSERT_TRUE(
        StartProbe(probe, {"limited", NativePath("tarvik.ini"), std::to_string(szOriginal.size() + 100)}));
    std::string szLine;
    ASSERT_TRUE(probe.ReadLine(60000, szLine));
    EXPECT_EQ(szLine, "opened");
    EXPECT_EQ(probe.Wait(), 0);
    EXPECT_EQ(ReadFile(NativePath("tarvik.ini")), szOriginal);
    EXPECT_FALSE(PathExists(NativePath("tarvik.ini.tmp")));
}

// The service program waits for the INI mutex while its engine is built, before main; a SIGTERM then
// ends it at once, cleanly, instead of after the wait's bound with the service started.
TEST_F(CIniFilePosixTest, SigtermDuringTheStartUpWaitForTheMutexEndsTheProgram)
{
    CTempDir dir("startup");
    std::filesystem::create_directories(dir.Path() / "bin");
    std::filesystem::copy_file(std::filesystem::path(TARVIK_BIN_DIR) / "tarvik", dir.Path() / "bin/tarvik");
    const std::string szIni = (dir.Path() / "bin/tarvik.ini").string();
    const std::string szSettings = "\xFF\xFE" + Utf16Le(L"[General]\r\nAttemptTimeout=7\r\n");
    ASSERT_TRUE(WriteFile(szIni, szSettings));
    platform::HANDLE hMutex = CGlobalObjectsBuilder().CreateMutex(L"tarvik.ini");
    ASSERT_EQ(platform::WaitForSingleObject(hMutex, 10000), platform::kWaitObject0);

    CTestProcess service;
    CTestProcess::SOptions options;
    options.m_environment = {{"TARVIK_HEADLESS", "1"}};
    options.m_bQuietErrors = true;
    ASSERT_TRUE(service.Start({(dir.Path() / "bin/tarvik").string()}, options));
    const std::filesystem::path fds = std::filesystem::path("/proc") / std::to_string(service.Pid()) / "fd";
    bool bWaiting = false;
    for (int i = 0; i < 3000 && !bWaiting; ++i)
    {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(fds, error))
            bWaiting = bWaiting ||
                       std::filesystem::read_symlink(entry.path(), error).filename() == "Global%5Ctarvik.ini";
        if (!bWaiting)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(bWaiting);
    service.Signal(SIGTERM);
    int nResult = -1;
    ASSERT_TRUE(service.WaitFor(CIniFile::kLockBoundMs - 1000, nResult)) << "still waiting after SIGTERM";
    EXPECT_EQ(nResult, 0);
    EXPECT_EQ(ReadFile((dir.Path() / "bin/tarvik.log").string()).find("service started"), std::string::npos);
    EXPECT_NE(ReadFile(szIni).find(Utf16Le(L"AttemptTimeout=7")), std::string::npos) << "settings kept";
    platform::ReleaseMutexObject(hMutex);
    platform::CloseHandleObject(hMutex);
}
