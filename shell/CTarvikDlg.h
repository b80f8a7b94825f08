// The program's one window: the settings form behind a tray icon whose menu starts, stops and
// restarts the monitoring engine, opens the form and the log viewer, and exits.
#pragma once

#include "shell/CTrayDialog.h"

#include <cstdint>
#include <string>

class CFMonitorApp;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CTarvikDlg : public CTrayDialog
{
    Q_OBJECT
public:
    // Menu command ids.
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

    // Builds the form, fills it from the settings (reloaded from the INI file), prepares the tray
    // icon record and menu and shows the icon; the window stays hidden. pEngine is not owned.
    explicit CTarvikDlg(CFMonitorApp* pEngine, QWidget* pParent = nullptr);
    ~CTarvikDlg() override;

    // Reloads the settings from the INI file into the fields, then sets the error-directory controls
    // by the check box.
    void FillFromSettings();
    // OK: stops the engine, reads every field into the settings, saves them, starts the engine.
    void ApplyAndRestart();
    // Sends the test mail with the form's values; the form is closed to input meanwhile but keeps
    // painting. Shows the result in a message box. Returns whether the mail was delivered (false also
    // when the program was asked to end before the send finished).
    bool SendTestMessage();
    // Opens the folder browser for the field with this id; the chosen folder goes into the field.
    void BrowseForField(int nFieldId, const QString& szWord);

    // Sets the enabled states of the start, stop and restart items from the engine's state.
    void SetMenuStates();
    // Runs the menu command with this id.
    void OnCommand(int nId);
    // The About box, modal.
    void ShowAbout();

    void OnTrayRButtonUp(const QPoint& pt) override;
    void OnTrayMenuAboutToShow() override;

    // The field or button with this id (as its object name), for the handlers and tests.
    QWidget* Control(int nId) const;
    QAction* MenuItem(int nId) const;
    bool IsSending() const { return m_bSending; }

    static QIcon ProgramIcon();
    // A numeric field's text as a signed 32-bit whole number; 0 when it is not one.
    static int32_t ReadNumber(const QString& szText);

    static const wchar_t* const kCaption;
    static const wchar_t* const kTrayTip;
    static const wchar_t* const kTestSubject;

protected:
    void accept() override;
    void reject() override;
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void BuildForm();
    void BuildMenu();
    void OnMoveErrToggled();
    QLineEdit* Field(int nId) const;

    CFMonitorApp* m_pEngine;
    bool m_bSending = false;
};
