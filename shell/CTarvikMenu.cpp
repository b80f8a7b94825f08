// The tray menu's items and commands.
#include "shell/CTarvikMenu.h"

#include "engine/CFMonitorApp.h"
#include "log/CLogger.h"
#include "platform/MessageBox.h"
#include "shell/CTarvikDlg.h"
#include "util/ProgramPaths.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

CTarvikMenu::CTarvikMenu(QMenu* pMenu, CFMonitorApp* pEngine, CTarvikDlg* pDialog)
    : QObject(pMenu), m_pMenu(pMenu), m_pEngine(pEngine), m_pDialog(pDialog)
{
    m_pMenu->setObjectName(QStringLiteral("TarvikTrayMenu"));
    struct SItem
    {
        int nId;
        const char* szText; // with its accelerator: a key that chooses the item in the open menu
        const char* szTip;
    };
    const SItem items[] = {
        {kIdSettings, "&Settings ...", ""},
        {kIdLog, "&Log ...", ""},
        {0, nullptr, nullptr},
        {kIdStart, "S&tart Service", "Start monitoring service"},
        {kIdStop, "Sto&p Service", "Stop monitoring service"},
        {kIdRestart, "&Restart Service", "Restart monitoring service"},
        {0, nullptr, nullptr},
        {kIdExit, "E&xit", ""},
    };
    for (const SItem& item : items)
    {
        if (item.szText == nullptr)
        {
            m_pMenu->addSeparator();
            continue;
        }
        QAction* pAction = m_pMenu->addAction(QString::fromLatin1(item.szText));
        pAction->setObjectName(QString::number(item.nId));
        pAction->setStatusTip(QString::fromLatin1(item.szTip));
        const int nId = item.nId;
        connect(pAction, &QAction::triggered, this, [this, nId]() { OnCommand(nId); });
    }
    m_pMenu->setDefaultAction(MenuItem(kIdSettings));
}

QAction* CTarvikMenu::MenuItem(int nId) const
{
    return m_pMenu->findChild<QAction*>(QString::number(nId));
}

void CTarvikMenu::SetMenuStates()
{
    const bool bStopped = m_pEngine->IsStopped();
    MenuItem(kIdStart)->setEnabled(bStopped);
    MenuItem(kIdStop)->setEnabled(!bStopped);
    MenuItem(kIdRestart)->setEnabled(!bStopped);
}

void CTarvikMenu::OnCommand(int nId)
{
    switch (nId)
    {
    case kIdSettings:
        m_pDialog->ShowForm();
        break;
    case kIdLog:
        ShowLog(CLogger::DefaultPath());
        break;
    case kIdStart:
        m_pEngine->Start();
        break;
    case kIdStop:
        m_pEngine->Stop();
        break;
    case kIdRestart:
        m_pEngine->Stop();
        m_pEngine->Start();
        break;
    case kIdExit:
        if (platform::ShowMessageBox(L"Are you sure to stop monitoring service?", L"Stop service",
                                     platform::kMbYesNoCancel | platform::kMbIconWarning) == platform::kIdYes)
        {
            if (m_pDialog->IsIconShown())
                m_pDialog->DeleteTrayIcon();
            QMetaObject::invokeMethod(
                qApp, []() { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        }
        break;
    case kIdAbout:
        m_pDialog->ShowAbout();
        break;
    default:
        break;
    }
}
