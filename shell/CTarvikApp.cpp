// Start-up, loop and clean end of tarvik, on a desktop or headless.
#include "shell/CTarvikApp.h"

#include "engine/CFMonitorApp.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/ServiceAccount.h"
#include "platform/ThreadMessages.h"
#include "shell/CHeadlessApp.h"
#include "shell/CQtMessageBoxPresenter.h"
#include "shell/CTarvikDlg.h"
#include "shell/CUninstall.h"

#include <QApplication>
#include <QSocketNotifier>

#include <xcb/xcb.h>

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

bool IsSet(const char* szName)
{
    const char* szValue = std::getenv(szName);
    return szValue != nullptr && *szValue != '\0';
}

CQtMessageBoxPresenter g_presenter;

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

CTarvikApp::~CTarvikApp()
{
    m_pDialog.reset();
    if (m_pQtApp)
        platform::SetMessageBoxPresenter(nullptr);
}

bool CTarvikApp::IsAutostart(const std::wstring& szCommandLine)
{
    return Lower(szCommandLine).find(L"-autostart") != std::wstring::npos;
}

bool CTarvikApp::WantsDesktop()
{
    if (platform::IsHeadless())
        return false;
    if (IsSet("QT_QPA_PLATFORM") || !IsSet("DISPLAY"))
        return true; // a platform chosen by hand, or Wayland
    // A display that cannot be reached would end the program inside Qt; run headless instead.
    xcb_connection_t* pConnection = xcb_connect(nullptr, nullptr);
    const bool bReachable = xcb_connection_has_error(pConnection) == 0;
    xcb_disconnect(pConnection);
    if (!bReachable)
        std::fprintf(stderr, "tarvik: the display %s cannot be reached; running without a desktop\n",
                     std::getenv("DISPLAY"));
    return bReachable;
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
    if (WantsDesktop())
        return RunDesktop();

    if (!WarnUser() || platform::QuitRequested())
        return 0;
    if (!ClaimInstance() || platform::QuitRequested())
        return 0;
    m_pEngine->Run();
    m_bEngineStarted = true;
    CHeadlessApp::RunMessageLoop();
    m_pEngine->SignalQuit();
    m_pEngine->Stop();
    return 0;
}

int CTarvikApp::RunDesktop()
{
    m_pQtApp = std::make_unique<QApplication>(m_nArgc, m_pArgv);
    QCoreApplication::setOrganizationName(QStringLiteral("Nordal"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvik"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(CTarvikDlg::ProgramIcon());
    platform::SetMessageBoxPresenter(&g_presenter);

    // The engine's heartbeats, its close request and quit requests reach the loop through the queue's
    // handle: no timer wakes the idle program.
    m_pQueueNotifier = new QSocketNotifier(static_cast<qintptr>(platform::QueueWaitHandle()),
                                           QSocketNotifier::Read, m_pQtApp.get());
    QObject::connect(m_pQueueNotifier, &QSocketNotifier::activated, m_pQtApp.get(),
                     [this]() { OnThreadMessages(); });

    if (!WarnUser() || platform::QuitRequested())
        return 0;
    if (!ClaimInstance() || platform::QuitRequested())
        return 0;

    m_pDialog = std::make_unique<CTarvikDlg>(m_pEngine);
    m_pEngine->Run();
    m_bEngineStarted = true;
    if (!platform::QuitRequested())
        m_pQtApp->exec();

    m_pEngine->SignalQuit();
    m_pEngine->Stop();
    m_pDialog.reset(); // removes the tray icon
    return 0;
}

void CTarvikApp::OnThreadMessages()
{
    platform::SThreadMessage msg;
    for (;;)
    {
        const int nResult = platform::PeekThreadMessage(msg);
        if (nResult < 0)
            return;
        if (nResult == 0)
        {
            QCoreApplication::exit(static_cast<int>(msg.wParam)); // quit message or quit request
            return;
        }
        if (msg.nMessage == WM_ENGINE_HEARTBEAT)
        {
            if (m_pDialog)
                m_pDialog->AddTrayIcon(); // brings back an icon that is gone; a shown one stays
        }
        else if (msg.nMessage == platform::kWmClose)
        {
            QCoreApplication::exit(0); // another process asked this instance to quit
            return;
        }
    }
}
