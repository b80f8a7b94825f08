// Helper process for the logger tests. With a log path: logs one record there and runs two nested
// traces, so that a test can read what reached the debugger output (standard error). With
// "--show-log <path>": starts the log viewer that lies beside this executable on that path.
#include "log/CFuncTrace.h"
#include "log/CLogger.h"
#include "platform/FileSystem.h"

#include <string>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
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
