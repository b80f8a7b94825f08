// Helper process for the logger tests. With a log path: logs one record there and runs two nested
// traces, so that a test can read what reached the debugger output (standard error). With
// "--show-log <path>": starts the log viewer that lies beside this executable on that path. With
// "--flood <path> <writer> <count>": logs count padded records "writer <writer> record <i> x...".
// With "--default": logs one record "default log" to the default log (of the data folder) and prints
// its path. With "--hold-lock <path>": takes the log's rotation lock, prints "held" and waits to be
// ended.
#include "log/CFuncTrace.h"
#include "log/CLogger.h"
#include "platform/AppendFile.h"
#include "platform/FileSystem.h"
#include "util/utf8_conversion.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    if (std::string(argv[1]) == "--flood" && argc == 5)
    {
        const std::wstring szPath = platform::WidePath(argv[2]);
        const int nCount = std::stoi(argv[4]);
        for (int i = 0; i < nCount; ++i)
        {
            CLogger logger(szPath);
            logger.Log(36 + (i % 2) * 3968, L"writer " + platform::WidePath(argv[3]) + L" record " +
                                                std::to_wstring(i) + L" " + std::wstring(90, L'x'));
        }
        return 0;
    }
    if (std::string(argv[1]) == "--default")
    {
        CLogger logger;
        logger.Log(4004, L"default log");
        std::printf("%s\n", utf8_conversion::Encode(logger.GetLogPath()).c_str());
        return 0;
    }
    if (std::string(argv[1]) == "--hold-lock" && argc == 3)
    {
        platform::CAppendFile file;
        if (!file.Open(platform::WidePath(argv[2])) || !file.TryLock(0))
            return 1;
        std::printf("held\n");
        std::fflush(stdout);
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
    if (std::string(argv[1]) == "--show-log" && argc == 3)
    {
        ShowLog(platform::WidePath(argv[2]));
        return 0;
    }
    ThreadName(L"CProbe::Main", true);
    CLogger logger(platform::WidePath(argv[1]));
    logger.Log(4004, L"probe message\r\nsecond line");
    {
        CFuncTrace outer(L"CProbe::Outer");
        CFuncTrace inner(L"CProbe::Inner");
    }
    return 0;
}
