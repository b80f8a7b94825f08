// Probe program of the settings tests: does one thing with an INI file or its mutex in a process of
// its own and reports on standard output, so that tests can watch several processes share a mutex.
//   existed <ini path>               prints 1 when the INI mutex existed already, else 0
//   write <ini path> <key> <value>   writes General/key=value and prints "done 1" (or "done 0")
//   hold <ini path>                  takes the INI file's mutex, prints "held", then waits to be killed
//   limited <ini path> <bytes>       opens the INI file while no file may grow beyond the given size
//                                    (Linux only)
//   load <ini path>                  loads the settings and prints AttemptTimeout, Attempts, EmPort and
//                                    TxtInDir, one a line; the settings are saved again at exit
#include "config/CFMParams.h"
#include "config/CGlobalObjectsBuilder.h"
#include "config/CIniFile.h"
#include "platform/KernelObjects.h"
#include "tests/support/TestFiles.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace
{

class CProbeParams : public CFMParams
{
public:
    explicit CProbeParams(const std::wstring& szIniPath) : CFMParams(szIniPath) {}
};

std::wstring Widen(const char* szText)
{
    std::string szNarrow(szText);
    return std::wstring(szNarrow.begin(), szNarrow.end());
}

std::string Narrow(const std::wstring& szText)
{
    std::string szNarrow;
    for (wchar_t ch : szText)
    {
        szNarrow.push_back(static_cast<char>(ch));
    }
    return szNarrow;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        return 2;
    }
    const std::string szMode = argv[1];
    const std::wstring szPath = Widen(argv[2]);
    if (szMode == "existed")
    {
        CIniFile ini(szPath);
        std::printf("%d\n", ini.MutexExisted() ? 1 : 0);
    }
    else if (szMode == "write" && argc == 5)
    {
        CIniFile ini(szPath);
        bool bOk = ini.WriteString(L"General", Widen(argv[3]), Widen(argv[4]));
        std::printf("done %d\n", bOk ? 1 : 0);
    }
    else if (szMode == "hold")
    {
        // The INI file's mutex is named after the file's name alone.
        const std::wstring szName = std::filesystem::path(szPath).filename().wstring();
        platform::HANDLE hMutex = CGlobalObjectsBuilder().CreateMutex(szName);
        if (platform::WaitForSingleObject(hMutex, platform::kInfinite) != platform::kWaitObject0)
        {
            return 1;
        }
        std::printf("held\n");
        std::fflush(stdout);
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    else if (szMode == "limited" && argc == 4)
    {
        // Writes past the limit fail instead of ending the process (Linux only).
        if (!tests::LimitFileSize(std::strtoull(argv[3], nullptr, 10)))
        {
            return 1;
        }
        CIniFile ini(szPath);
        std::printf("opened\n");
    }
    else if (szMode == "load")
    {
        CProbeParams params(szPath);
        std::printf("%d\n%d\n%d\n%s\n", params.m_nAttemptTimeout, params.m_nAttempts, params.m_nEmPort,
                    Narrow(params.m_szTxtInDir).c_str());
    }
    else
    {
        return 2;
    }
    std::fflush(stdout);
    return 0;
}
