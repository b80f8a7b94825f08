// The application object of tarvik: start-up (the user check, the single-instance claim, the tray
// dialog on a desktop), the engine's start, the main thread's loop, and the clean end. With a display
// and the tray module installed it is the tray program; otherwise the headless service. Links no
// desktop library: the tray program lives in the module (shell/ITrayProgram.h).
#pragma once

#include "shell/IUninstall.h"

#include <memory>
#include <string>

class CFMonitorApp;
class ITrayProgram;

class CTarvikApp : public IUninstall
{
public:
    // pEngine is not owned and must outlive the object; argc and argv are main's (kept for Qt).
    CTarvikApp(CFMonitorApp* pEngine, int& argc, char** argv);
    ~CTarvikApp() override;
    CTarvikApp(const CTarvikApp&) = delete;
    CTarvikApp& operator=(const CTarvikApp&) = delete;

    // Runs start-up and the loop on the main thread until the user exits, another process asks this
    // instance to quit, or a quit request (SIGTERM, SIGINT) arrives. Returns the exit code: always 0.
    // Call InstallQuitRequestHandler (platform/ThreadMessages.h) first thing in main.
    int Run();

    // True when "-autostart" occurs anywhere in the command line, in any letter case.
    static bool IsAutostart(const std::wstring& szCommandLine);
    // The tray program when this process should be one: TARVIK_HEADLESS is not 1, a display is set
    // and reachable, and the tray module loads. Otherwise nullptr (said on standard error when a
    // display is set but cannot be used).
    static std::unique_ptr<ITrayProgram> OpenDesktop();

    // Deletes the autostart value and claims the instance quietly; when another instance holds it,
    // asks that one to quit.
    void PrepareUninstall() override;

    // The start-up warning shown to users other than the system account.
    static const wchar_t* const kWarningText;

    const std::wstring& CommandLine() const { return m_szCommandLine; }

private:
    bool WarnUser();
    // Claims the single instance unless an uninstall that could not run has claimed it already.
    bool ClaimInstance();

    CFMonitorApp* m_pEngine;
    int& m_nArgc;
    char** m_pArgv;
    std::wstring m_szCommandLine;
    std::unique_ptr<ITrayProgram> m_pTray; // null when headless
    bool m_bEngineStarted = false;
    bool m_bInstanceClaimed = false; // by PrepareUninstall, for a start that goes on after it
};
