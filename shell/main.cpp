// The service program: the static engine and the start-up of the tray program or the headless service.
#include "engine/CFMonitorApp.h"
#include "platform/ThreadMessages.h"
#include "shell/CInfoSwitches.h"
#include "shell/CTarvikApp.h"

namespace
{

bool g_bQuitHooked = false;

// Hooked before anything else of this program runs, the engine's construction included: a quit
// request (SIGTERM, SIGINT) from here on ends the program cleanly, with the settings saved. It runs
// from the executable's pre-initialisation array, that is as soon as the dynamic loader has mapped
// the libraries and before any of their constructors (those of the image libraries take some
// milliseconds, in which a stop request sent right after the start would otherwise kill the process).
void HookQuitRequests()
{
    g_bQuitHooked = platform::InstallQuitRequestHandler();
}
__attribute__((section(".preinit_array"), used)) void (*const g_pfHookQuitRequests)() = HookQuitRequests;

// --help and --version print their text and end the process here, before the engine below loads the
// settings or anything claims the instance.
const bool g_bNoInfoSwitch = !CInfoSwitches::HandleOwnArguments();

// Built before main runs (it loads the settings) and destroyed after it returns (it saves them).
CFMonitorApp g_engine;

} // namespace

int main(int argc, char** argv)
{
    (void)g_bQuitHooked;
    (void)g_bNoInfoSwitch;
    CTarvikApp app(&g_engine, argc, argv);
    return app.Run();
}
