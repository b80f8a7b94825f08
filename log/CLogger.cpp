// The logger: record layout, the append, rotation, the debug switch, thread names and the log viewer.
#include "log/CLogger.h"

#include "log/ErrorCodes.h"
#include "platform/AppendFile.h"
#include "platform/DebugOutput.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "platform/Thread.h"
#include "util/CFileOps.h"
#include "util/utf8_conversion.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cwchar>
#include <map>
#include <mutex>
#include <thread>

namespace
{

// Restores the caller's last system error when a record is done, so that logging a failure does
// not change what GetLastError reports afterwards.
class CLastErrorKeeper
{
public:
    CLastErrorKeeper() : m_nError(platform::GetLastError()) {}
    ~CLastErrorKeeper() { platform::SetLastError(m_nError); }

private:
    uint32_t m_nError;
};

void ReplaceAll(std::wstring& szText, const std::wstring& szFrom, const std::wstring& szTo)
{
    size_t nPos = 0;
    while ((nPos = szText.find(szFrom, nPos)) != std::wstring::npos)
    {
        szText.replace(nPos, szFrom.size(), szTo);
        nPos += szTo.size();
    }
}

// Says once per process on standard error that the log cannot be written.
void ReportUnwritableLog(const std::wstring& szPath)
{
    static std::atomic<bool> s_bReported{false};
    if (s_bReported.exchange(true))
        return;
    std::fprintf(stderr,
                 "The log %s cannot be written (no permission, or not a plain file with a single link); "
                 "records of this program are not kept.\n",
                 utf8_conversion::Encode(szPath).c_str());
}

} // namespace

CLogger::CLogger() : CLogger(DefaultPath()) {}

std::wstring CLogger::DefaultPath()
{
    return DataDirectory() + ExecutableFileName() + L".log";
}

CLogger::CLogger(const std::wstring& szLogPath) : m_szLogPath(szLogPath)
{
    IsDebugMode();
}

std::wstring CLogger::GetBackupPath() const
{
    static const std::wstring kLogEnding = L".log";
    if (m_szLogPath.size() >= kLogEnding.size() &&
        m_szLogPath.compare(m_szLogPath.size() - kLogEnding.size(), kLogEnding.size(), kLogEnding) == 0)
        return m_szLogPath.substr(0, m_szLogPath.size() - kLogEnding.size()) + L".old.log";
    return m_szLogPath + L".old.log";
}

std::wstring CLogger::FlattenMessage(const std::wstring& szMessage)
{
    std::wstring szFlat = szMessage;
    ReplaceAll(szFlat, L"\r\n", L". ");
    ReplaceAll(szFlat, L"\n", L". ");
    return szFlat;
}

std::wstring CLogger::FormatRecord(int32_t nCode, const std::wstring& szMessage,
                                   const platform::SSystemTime& time)
{
    wchar_t szStamp[96];
    std::swprintf(szStamp, sizeof(szStamp) / sizeof(szStamp[0]), L"%d,%04d,", nCode / 1000, nCode);
    std::wstring szRecord = szStamp;
    szRecord += ErrorCodeText(nCode);
    std::swprintf(szStamp, sizeof(szStamp) / sizeof(szStamp[0]), L",%02u/%02u/%04u,%02u:%02u:%02u.%03u,",
                  unsigned(time.wDay), unsigned(time.wMonth), unsigned(time.wYear), unsigned(time.wHour),
                  unsigned(time.wMinute), unsigned(time.wSecond), unsigned(time.wMilliseconds));
    szRecord += szStamp;
    szRecord += FlattenMessage(szMessage);
    szRecord += L"\r\n";
    return szRecord;
}

void CLogger::Log(int32_t nCode, const std::wstring& szMessage) const
{
    CLastErrorKeeper keeper;
    const platform::SSystemTime now = platform::GetLocalTime();
    if (IsDebugMode())
        platform::OutputDebugText(FlattenMessage(szMessage));

    // The whole record goes out in one write to a file opened for appending: records of other
    // threads and processes land before or after it, never inside it.
    const std::string szBytes = utf8_conversion::Encode(FormatRecord(nCode, szMessage, now));
    platform::CAppendFile file;
    if (!file.Open(m_szLogPath))
    {
        // A program that may not write the log (a member of the service group runs the tray program
        // on a log of the service's, 0640) or a log that is refused (a link, a hard link) loses its
        // records; it says so once, and goes on.
        const uint32_t nError = platform::GetLastError();
        if (nError == platform::kErrorAccessDenied)
            ReportUnwritableLog(m_szLogPath);
        if (nError != platform::kErrorFileNotFound && nError != platform::kErrorPathNotFound)
            return;
    }
    uint64_t nSize = 0;
    bool bSizeKnown = file.Append(szBytes.data(), szBytes.size()) && file.GetSize(nSize);
    if (bSizeKnown && nSize <= kRotateSize)
        return;

    // Rotation. Several writers may see the file past its limit at once; the lock lets one of them
    // rotate, and the others find that the path no longer names the file they wrote to, so that a
    // freshly rotated backup is never deleted by a second rotation. The lock is only tried for a
    // moment: whoever holds it (another process may keep a lock on any file it can read) delays the
    // rotation to a later record and never stops the writer.
    // After a try that found the lock held, the records of the next second only try once, so that a
    // lock kept for good costs each record nothing.
    static std::atomic<int64_t> s_nLockMissedAt{INT64_MIN / 2};
    const int64_t nNow = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
    const uint32_t nWaitMs = nNow - s_nLockMissedAt.load() < 1000 ? 0 : kRotateLockWaitMs;
    if (file.IsOpen() && !file.TryLock(nWaitMs))
    {
        s_nLockMissedAt.store(nNow);
        return;
    }
    if (file.IsOpen() && !file.IsAt(m_szLogPath))
        return;
    Rotate();
    file.Close();
}

void CLogger::Rotate() const
{
    // The log replaces the backup in one rename: when the move fails, the old backup is still
    // there, and with no log file there is nothing to rotate and the backup stays untouched.
    if (CFileOps::GetPathType(m_szLogPath) != 1)
        return;
    const std::wstring szBackup = GetBackupPath();
    if (!platform::MoveFile(m_szLogPath, szBackup, platform::kMoveReplaceExisting))
        return;
    Log(kCodeLoggerInfo, L"Previous log messages backed up to '" + szBackup + L"'. New log file started.");
}

void CLogger::LogLastError() const
{
    uint32_t nError = platform::GetLastError();
    LogSystemError(nError);
}

void CLogger::LogSystemError(uint32_t nError) const
{
    Log(static_cast<int32_t>(nError), SystemErrorText(nError));
}

bool IsDebugMode()
{
    // 0 not read yet, 1 on, 2 off.
    static std::atomic<int> s_nDebugMode{0};
    int nMode = s_nDebugMode.load();
    if (nMode != 0)
        return nMode == 1;

    nMode = 2;
    platform::CRegistryKey key;
    if (key.Open(platform::EHive::LocalMachine, L"Software\\Nordal\\Halvane", platform::kRegAllAccess) == 0)
    {
        std::wstring szValue;
        if (key.QueryString(L"Debug", szValue) == 0 && szValue == L"1")
            nMode = 1;
        key.Close();
    }
    int nUnread = 0;
    s_nDebugMode.compare_exchange_strong(nUnread, nMode);
    return s_nDebugMode.load() == 1;
}

std::wstring ThreadName(const std::wstring& szName, bool bRegister)
{
    static const std::wstring kUndefined = L"Undefined Thread";
    try
    {
        // Never destroyed: threads and static objects may trace during process exit.
        static std::mutex* s_pLock = new std::mutex;
        static std::map<uint32_t, std::wstring>* s_pNames = new std::map<uint32_t, std::wstring>;
        const uint32_t nThreadId = platform::GetCurrentThreadId();
        std::lock_guard<std::mutex> guard(*s_pLock);
        if (bRegister && !szName.empty())
            s_pNames->emplace(nThreadId, szName);
        auto it = s_pNames->find(nThreadId);
        return it == s_pNames->end() ? kUndefined : it->second;
    }
    catch (...)
    {
        return kUndefined;
    }
}

void ShowLog(const std::wstring& szLogPath)
{
    uint32_t nAttributes = platform::GetFileAttributes(szLogPath);
    if (nAttributes == platform::kInvalidFileAttributes || (nAttributes & platform::kAttributeDirectory) != 0)
        CFileOps::TouchFile(szLogPath);

    std::wstring szProgram = ExecutableDirectory() + L"logvista" + platform::kProgramSuffix;
    if (szProgram.find(L' ') != std::wstring::npos)
        szProgram = L"\"" + szProgram + L"\"";
    const std::wstring szCommandLine = szProgram + L" /path " + szLogPath + L" /language English";

    platform::SProcessInfo info;
    if (!platform::CreateProcessFromCommandLine(szCommandLine, info))
    {
        uint32_t nError = platform::GetLastError();
        platform::ShowMessageBox(L"Unable to load log file:\r\n - " + szLogPath + L"\r\n" +
                                     SystemErrorText(nError),
                                 L"Unable to show log", platform::kMbOk | platform::kMbIconError);
        return;
    }
    // Nobody waits for the viewer; a detached waiter collects its exit so that it leaves no zombie.
    std::thread(
        [info]
        {
            uint32_t nExitCode = 0;
            platform::WaitForProcess(info, nExitCode);
        })
        .detach();
}
