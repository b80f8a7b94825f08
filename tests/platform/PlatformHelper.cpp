// A helper process for the platform tests: it holds, races for and signals named objects from a
// process of its own.
//   hold-mutex NAME READY       own the mutex, write the wait result to READY, then sleep until killed
//   hold-event NAME READY       hold the event, write the create's last error to READY, sleep
//   race-mutex NAME FILE COUNT  COUNT times: take the mutex, add 1 to the number in FILE, release
//   set-event NAME DELAYMS OUT  after DELAYMS, write the monotonic time in ns to OUT, set the event
//   exit-mutex NAME             take and release the mutex from a static destructor while exiting
//   sleep NAME MS               sleep MS milliseconds, then exit with code 0 (NAME is not used)
//   exit NAME CODE              exit at once with CODE (NAME is not used)
//   args NAME OUT               write this process's arguments as the system hands them over to OUT,
//                               UTF-8, one a line (NAME is not used)
// Only the platform layer and the standard library: the same program serves every backend.
#include "platform/Encoding.h"
#include "platform/KernelObjects.h"
#include "platform/Process.h"
#include "platform/SysError.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

namespace
{

std::wstring Wide(const char* s)
{
    std::wstring w;
    for (; *s; ++s)
    {
        w.push_back(static_cast<unsigned char>(*s));
    }
    return w;
}

void WriteText(const char* szPath, const std::string& szText)
{
    const std::string szTemp = std::string(szPath) + ".part";
    {
        std::ofstream out(szTemp, std::ios::binary | std::ios::trunc);
        out << szText;
    }
    std::rename(szTemp.c_str(), szPath);
}

// Takes and releases a named mutex in its destructor, as a static settings object saves at exit.
struct SAtExit
{
    std::wstring szName;
    ~SAtExit()
    {
        if (szName.empty())
        {
            return;
        }
        HANDLE h = CreateNamedMutexObject(szName, false);
        for (int i = 0; i < 3 && h != kInvalidHandle; ++i)
        {
            if (WaitForSingleObject(h, kInfinite) == kWaitObject0)
            {
                ReleaseMutexObject(h);
            }
        }
    }
} g_atExit;

[[noreturn]] void SleepForever()
{
    for (;;)
    {
        std::this_thread::sleep_for(std::chrono::hours(1));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        return 2;
    }
    const std::string szCommand = argv[1];
    const std::wstring szName = Wide(argv[2]);
    if (szCommand == "hold-mutex" && argc == 4)
    {
        HANDLE h = CreateNamedMutexObject(szName, false);
        if (h == kInvalidHandle)
        {
            return 3;
        }
        const uint32_t nResult = WaitForSingleObject(h, kInfinite);
        WriteText(argv[3], std::to_string(nResult));
        SleepForever();
    }
    if (szCommand == "hold-event" && argc == 4)
    {
        HANDLE h = CreateNamedEventObject(szName, true, false);
        if (h == kInvalidHandle)
        {
            return 3;
        }
        WriteText(argv[3], std::to_string(GetLastError()));
        SleepForever();
    }
    if (szCommand == "race-mutex" && argc == 5)
    {
        HANDLE h = CreateNamedMutexObject(szName, false);
        if (h == kInvalidHandle)
        {
            return 3;
        }
        const int nCount = std::atoi(argv[4]);
        for (int i = 0; i < nCount; ++i)
        {
            if (WaitForSingleObject(h, kInfinite) != kWaitObject0)
            {
                return 4;
            }
            // A read-modify-write that loses counts unless the mutex excludes the other process.
            long nValue = 0;
            {
                std::ifstream in(argv[3]);
                in >> nValue;
            }
            {
                std::ofstream out(argv[3], std::ios::trunc);
                out << nValue + 1;
            }
            ReleaseMutexObject(h);
        }
        CloseHandleObject(h);
        return 0;
    }
    if (szCommand == "set-event" && argc == 5)
    {
        HANDLE h = CreateNamedEventObject(szName, true, false);
        if (h == kInvalidHandle)
        {
            return 3;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
        // The steady clock is the monotonic clock the suites read (CLOCK_MONOTONIC).
        const auto nNow = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        WriteText(argv[4], std::to_string(static_cast<long long>(nNow.count())));
        SetEventObject(h);
        CloseHandleObject(h);
        return 0;
    }
    if (szCommand == "exit-mutex")
    {
        // Owned and released once on the main thread first, so that its thread-local state exists.
        HANDLE h = CreateNamedMutexObject(szName, false);
        WaitForSingleObject(h, kInfinite);
        ReleaseMutexObject(h);
        g_atExit.szName = szName;
        return 0;
    }
    if (szCommand == "sleep" && argc == 4)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
        return 0;
    }
    if (szCommand == "exit" && argc == 4)
    {
        return std::atoi(argv[3]);
    }
    if (szCommand == "args" && argc >= 4)
    {
        std::vector<std::wstring> args;
        if (!GetOwnArguments(args))
        {
            return 3;
        }
        std::string szText;
        for (const std::wstring& szArg : args)
        {
            std::string szBytes;
            if (!WideToMultiByte(kCodePageUtf8, szArg, szBytes))
            {
                return 3;
            }
            szText += szBytes + "\n";
        }
        WriteText(argv[3], szText);
        return 0;
    }
    return 2;
}
