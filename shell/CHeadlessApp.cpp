// Headless start-up and message loop of the service.
#include "shell/CHeadlessApp.h"

#include "engine/CFMonitorApp.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/ThreadMessages.h"
#include "shell/CUninstall.h"

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

const wchar_t* const CHeadlessApp::kWarningText =
    L"You are about to launch Veltrane document monitoring service.\r\n"
    L"This application usually runs as a system service. Starting the program \r\n"
    L"as a desktop application may cause the program to behave unusually.\r\n\r\n"
    L"Are you sure that you want to start it as desktop application?\r\n\r\n"
    L"To start Veltrane document monitoring as a system service, close\r\n"
    L"this message (click Cancel) and launch the application 'tarviksrv.exe' \r\n"
    L"from the same location.";

CHeadlessApp::CHeadlessApp(CFMonitorApp* pEngine) : m_pEngine(pEngine) {}

bool CHeadlessApp::IsAutostart(const std::wstring& szCommandLine)
{
    return Lower(szCommandLine).find(L"-autostart") != std::wstring::npos;
}

void CHeadlessApp::PrepareUninstall()
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

int CHeadlessApp::Run(const std::wstring& szCommandLine)
{
    // The uninstall switch removes the product instead of starting it.
    if (CUninstall().RunFromCommandLine(szCommandLine, this))
        return 0;

    // Anyone but the system account is warned; without a desktop the box answers Cancel at once.
    if (Lower(platform::GetUserName()) != L"system")
    {
        int nAnswer = platform::ShowMessageBox(kWarningText, L"Tarvik Service",
                                               platform::kMbYesNoCancel | platform::kMbIconWarning |
                                                   platform::kMbDefButton3);
        if (nAnswer != platform::kIdYes)
            return 0;
    }

    // The queue must exist before the engine posts to it; SIGTERM and SIGINT end the loop below.
    platform::CreateMessageQueue();
    platform::InstallQuitSignals();

    // An uninstall that could not run has already claimed the instance for this process.
    if (!m_bInstanceClaimed && !m_pEngine->ClaimSingleInstance(IsAutostart(szCommandLine)))
        return 0;

    m_pEngine->Run();

    platform::SThreadMessage msg;
    while (platform::GetThreadMessage(msg) > 0)
    {
        if (msg.nMessage == platform::kWmClose)
            break; // another process asked this instance to quit
        // WM_ENGINE_HEARTBEAT re-adds the tray icon on a desktop; without one there is nothing to do.
    }

    m_pEngine->SignalQuit();
    m_pEngine->Stop();
    return 0;
}
