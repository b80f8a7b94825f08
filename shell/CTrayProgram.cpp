// The tray program and the tray module's entry point.
#include "shell/CTrayProgram.h"

#include "engine/CFMonitorApp.h"
#include "platform/MessageBox.h"
#include "platform/ThreadMessages.h"
#include "shell/CTarvikDlg.h"
#include "shell/DesktopSession.h"

#include <QApplication>
#include <QSocketNotifier>

CTrayProgram::CTrayProgram() = default;

CTrayProgram::~CTrayProgram()
{
    Close();
    m_pQtApp.reset();
}

bool CTrayProgram::DisplayReachable()
{
    return desktop::DisplayReachable();
}

void CTrayProgram::Open(int& argc, char** argv)
{
    m_pQtApp = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Nordal"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvik"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(CTarvikDlg::ProgramIcon());
    platform::SetMessageBoxPresenter(&m_presenter);
    m_bPresenterSet = true;

    // The engine's heartbeats, its close request and quit requests reach the loop through the queue's
    // handle: no timer wakes the idle program.
    m_pQueueNotifier = new QSocketNotifier(static_cast<qintptr>(platform::QueueWaitHandle()),
                                           QSocketNotifier::Read, m_pQtApp.get());
    QObject::connect(m_pQueueNotifier, &QSocketNotifier::activated, m_pQtApp.get(),
                     [this]() { OnThreadMessages(); });
}

void CTrayProgram::ShowTray(CFMonitorApp* pEngine)
{
    m_pDialog = std::make_unique<CTarvikDlg>(pEngine);
}

void CTrayProgram::RunLoop()
{
    m_pQtApp->exec();
}

void CTrayProgram::Close()
{
    m_pDialog.reset(); // removes the tray icon
    if (m_bPresenterSet)
        platform::SetMessageBoxPresenter(nullptr);
    m_bPresenterSet = false;
}

void CTrayProgram::OnThreadMessages()
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

extern "C" __attribute__((visibility("default"))) ITrayProgram* TarvikCreateTrayProgram(int nVersion)
{
    return nVersion == kTrayProgramVersion ? new CTrayProgram : nullptr;
}
