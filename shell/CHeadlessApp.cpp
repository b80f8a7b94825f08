// Headless message loop of the service.
#include "shell/CHeadlessApp.h"

#include "platform/ThreadMessages.h"

int CHeadlessApp::RunMessageLoop()
{
    platform::SThreadMessage msg;
    while (platform::GetThreadMessage(msg) > 0)
    {
        if (msg.nMessage == platform::kWmClose)
            break; // another process asked this instance to quit
        // WM_ENGINE_HEARTBEAT re-adds the tray icon on a desktop; without one there is nothing to do.
    }
    return 0;
}
