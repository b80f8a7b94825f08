// The service program: the static engine and the headless start-up.
#include "engine/CFMonitorApp.h"
#include "platform/FileSystem.h"
#include "shell/CHeadlessApp.h"

#include <string>

namespace
{

// Built before main runs (it loads the settings) and destroyed after it returns (it saves them).
CFMonitorApp g_engine;

} // namespace

int main(int argc, char** argv)
{
    std::wstring szCommandLine;
    for (int i = 0; i < argc; ++i)
    {
        if (i > 0)
            szCommandLine += L' ';
        szCommandLine += platform::WidePath(argv[i]);
    }
    CHeadlessApp app(&g_engine);
    return app.Run(szCommandLine);
}
