// Start-up and message loop of the service without a desktop: the user check, the single-instance
// claim, the engine's start, the main thread's message loop until a close request or a quit signal,
// and the engine's stop.
#pragma once

#include "shell/IUninstall.h"

#include <string>

class CFMonitorApp;

class CHeadlessApp : public IUninstall
{
public:
    // pEngine is not owned; it must outlive the application object.
    explicit CHeadlessApp(CFMonitorApp* pEngine);
    ~CHeadlessApp() override = default;

    // Runs start-up and the message loop on the calling (main) thread; szCommandLine is the whole
    // command line. Returns the exit code, always 0.
    int Run(const std::wstring& szCommandLine);

    // True when "-autostart" occurs anywhere in the command line, in any letter case.
    static bool IsAutostart(const std::wstring& szCommandLine);

    // Deletes the autostart value and claims the instance quietly; when another instance holds it,
    // asks that one to quit.
    void PrepareUninstall() override;

    // The start-up warning shown to users other than the system account.
    static const wchar_t* const kWarningText;

private:
    CFMonitorApp* m_pEngine;
    bool m_bInstanceClaimed = false; // by PrepareUninstall, for a start that goes on after it
};
