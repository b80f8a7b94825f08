// Start-up, loop and clean end of tarvik, on a desktop or headless.
#include "shell/CTarvikApp.h"

#include "engine/CFMonitorApp.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/ServiceAccount.h"
#include "platform/ThreadMessages.h"
#include "shell/CHeadlessApp.h"
#include "shell/CTrayModule.h"
#include "shell/CUninstall.h"
#include "shell/ITrayProgram.h"

#include <cstdlib>
#include <cstring>
#include <cwctype>

namespace
{

std::wstring Lower(std::wstring sz)
{
    for (wchar_t& ch : sz)
        ch = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(ch)));
    return sz;
}

} // namespace

const wchar_t* const CTarvikApp::kWarningText =
    L"You are about to launch Veltrane document monitoring service.\r\n"
    L"This application usually runs as a system service. Starting the program \r\n"
    L"as a desktop application may cause the program to behave unusually.\r\n\r\n"
    L"Are you sure that you want to start it as desktop application?\r\n\r\n"
    L"To start Veltrane document monitoring as a system service, close\r\n"
    L"this message (click Cancel) and launch the application 'tarviksrv.exe' \r\n"
    L"from the same location.";

CTarvikApp::CTarvikApp(CFMonitorApp* pEngine, int& argc, char** argv)
    : m_pEngine(pEngine), m_nArgc(argc), m_pArgv(argv)
{
    for (int i = 0; i < argc; ++i)
    {
        if (i > 0)
            m_szCommandLine += L' ';
        m_szCommandLine += platform::WidePath(argv[i]);
    }
}

CTarvikApp::~CTarvikApp() = default;

bool CTarvikApp::IsAutostart(const std::wstring& szCommandLine)
{
    return Lower(szCommandLine).find(L"-autostart") != std::wstring::npos;
}

std::unique_ptr<ITrayProgram> CTarvikApp::OpenDesktop()
{
    if (platform::IsHeadless())
        return nullptr; // nothing to load: no display set, or TARVIK_HEADLESS=1
    std::unique_ptr<ITrayProgram> pTray = CTrayModule::Load();
    if (pTray && !pTray->DisplayReachable())
        pTray.reset();
    return pTray;
}

bool CTarvikApp::WarnUser()
{
    // A service runs as the service account or root: no warning. An unattended start (-autostart)
    // never waits for an answer and goes on; without a desktop the box answers Cancel at once.
    if (platform::IsServiceAccountOrRoot())
        return true;
    if (IsAutostart(m_szCommandLine))
        return true;
    const int nAnswer = platform::ShowMessageBox(kWarningText, L"Tarvik Service",
                                                 platform::kMbYesNoCancel | platform::kMbIconWarning |
                                                     platform::kMbDefButton3);
    return nAnswer == platform::kIdYes;
}

void CTarvikApp::PrepareUninstall()
{
    platform::CRegistryKey runKey;
    if (runKey.Open(platform::EHive::LocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                    platform::kRegAllAccess) == 0)
        runKey.DeleteValue(L"VeltraneMonitor");
    if (m_pEngine->ClaimSingleInstance(true))
        m_bInstanceClaimed = true;
    else
        m_pEngine->SignalQuit();
}

bool CTarvikApp::ClaimInstance()
{
    return m_bInstanceClaimed || m_pEngine->ClaimSingleInstance(IsAutostart(m_szCommandLine));
}

int CTarvikApp::Run()
{
    // The uninstall switch removes the product instead of starting it, headless or not, before
    // anything is shown.
    if (CUninstall().RunFromCommandLine(m_szCommandLine, this))
        return 0;

    // The queue exists from main on (InstallQuitRequestHandler); a quit request at any step below
    // ends start-up cleanly.
    platform::CreateMessageQueue();
    if (platform::QuitRequested())
        return 0;
    m_pTray = OpenDesktop();
    if (m_pTray)
        m_pTray->Open(m_nArgc, m_pArgv); // from here on message boxes are dialogs

    if (!WarnUser() || platform::QuitRequested())
        return 0;
    if (!ClaimInstance() || platform::QuitRequested())
        return 0;
    if (m_pTray)
        m_pTray->ShowTray(m_pEngine);
    m_pEngine->Run();
    m_bEngineStarted = true;
    if (!m_pTray)
        CHeadlessApp::RunMessageLoop();
    else if (!platform::QuitRequested())
        m_pTray->RunLoop();

    m_pEngine->SignalQuit();
    m_pEngine->Stop();
    if (m_pTray)
        m_pTray->Close(); // removes the tray icon
    return 0;
}
