// The tray icon's menu and its commands: open the settings form, show the log, start, stop or restart
// the monitoring engine, and exit.
#pragma once

#include <QObject>

class CFMonitorApp;
class CTarvikDlg;
class QAction;
class QMenu;

class CTarvikMenu : public QObject
{
    Q_OBJECT
public:
    // Command ids (the object names of the items).
    enum : int
    {
        kIdSettings = 32772,
        kIdLog = 32773,
        kIdStart = 32776,
        kIdStop = 32775,
        kIdRestart = 32778,
        kIdExit = 32771,
        kIdAbout = 16,
    };

    // Fills pMenu (not owned) with the items; pEngine and pDialog are not owned and must outlive the
    // object. Main thread only, as every member.
    CTarvikMenu(QMenu* pMenu, CFMonitorApp* pEngine, CTarvikDlg* pDialog);

    // Sets the enabled states of the start, stop and restart items from the engine's state.
    void SetMenuStates();
    // Runs the command with this id (ids without a command are ignored).
    void OnCommand(int nId);
    // The item of this command; nullptr for an unknown id.
    QAction* MenuItem(int nId) const;
    QMenu* Menu() const { return m_pMenu; }

private:
    QMenu* m_pMenu;
    CFMonitorApp* m_pEngine;
    CTarvikDlg* m_pDialog;
};
