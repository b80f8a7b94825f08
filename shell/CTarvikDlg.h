// The program's one window: the settings form behind the tray icon. The icon's menu and its commands
// are CTarvikMenu's.
#pragma once

#include "shell/CTrayDialog.h"

#include <cstdint>
#include <string>

class CFMonitorApp;
class CFMParams;
class CTarvikMenu;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CTarvikDlg : public CTrayDialog
{
    Q_OBJECT
public:
    // Builds the form, fills it from the settings (reloaded from the INI file), prepares the tray
    // icon record and menu and shows the icon; the window stays hidden. pEngine is not owned.
    explicit CTarvikDlg(CFMonitorApp* pEngine, QWidget* pParent = nullptr);
    ~CTarvikDlg() override;

    // Reloads the settings from the INI file into the fields, then sets the error-directory controls
    // by the check box.
    void FillFromSettings();
    // OK: stops the engine, reads every field into the settings (a folder gets its trailing
    // separator, as on load), saves them, starts the engine.
    void ApplyAndRestart();
    // Sends the test mail with the form's values; the form is closed to input meanwhile but keeps
    // painting. Shows the result in a message box. Returns whether the mail was delivered (false also
    // when the program was asked to end before the send finished).
    bool SendTestMessage();
    // Opens the folder browser for the field; the chosen folder goes into the field.
    void BrowseForField(QLineEdit* pField, const QString& szWord);

    // Shows the form in its normal state, in front.
    void ShowForm();
    // The About box, modal.
    void ShowAbout();

    void OnTrayRButtonUp(const QPoint& pt) override;
    void OnTrayMenuAboutToShow() override;

    CTarvikMenu& Menu() const { return *m_pMenu; }
    bool IsSending() const { return m_bSending; }

    // The form's controls.
    QLineEdit* TxtInDirField() const { return m_pTxtInDir; }
    QLineEdit* TxtOutDirField() const { return m_pTxtOutDir; }
    QLineEdit* PdfDefDirField() const { return m_pPdfDefDir; }
    QLineEdit* AttemptTimeoutField() const { return m_pAttemptTimeout; }
    QLineEdit* AttemptsField() const { return m_pAttempts; }
    QCheckBox* MoveErrBox() const { return m_pMoveErr; }
    QLabel* TxtErrLabel() const { return m_pTxtErrLabel; }
    QLineEdit* TxtErrDirField() const { return m_pTxtErrDir; }
    QLineEdit* DefEmailField() const { return m_pDefEmail; }
    QLineEdit* PortField() const { return m_pPort; }
    QLineEdit* SenderEmailField() const { return m_pSenderEmail; }
    QLineEdit* SmtpServerField() const { return m_pSmtpServer; }
    QLineEdit* SenderNameField() const { return m_pSenderName; }
    QLineEdit* SubjectField() const { return m_pSubject; }
    QPushButton* TxtInBrowseButton() const { return m_pTxtInBrowse; }
    QPushButton* TxtOutBrowseButton() const { return m_pTxtOutBrowse; }
    QPushButton* PdfDefBrowseButton() const { return m_pPdfDefBrowse; }
    QPushButton* TxtErrBrowseButton() const { return m_pTxtErrBrowse; }
    QPushButton* SendTestButton() const { return m_pSendTest; }
    QPushButton* AboutButton() const { return m_pAbout; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }

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
    // One setting and its control: the one table that both FillFromSettings and ApplyAndRestart walk,
    // in the order in which they fill and read the fields.
    struct SBinding
    {
        enum class EKind
        {
            Number, // a whole number in a line field
            Text,   // text as typed
            Flag,   // a check box: checked is 1
        };
        EKind eKind;
        QLineEdit* CTarvikDlg::*pField;
        QCheckBox* CTarvikDlg::*pBox;
        int32_t CFMParams::*pNumber;
        std::wstring CFMParams::*pText;
    };
    static const SBinding kBindings[];

    void BuildForm();
    void OnMoveErrToggled();

    CFMonitorApp* m_pEngine;
    CTarvikMenu* m_pMenu = nullptr;
    bool m_bSending = false;

    QLineEdit* m_pTxtInDir = nullptr;
    QLineEdit* m_pTxtOutDir = nullptr;
    QLineEdit* m_pPdfDefDir = nullptr;
    QLineEdit* m_pAttemptTimeout = nullptr;
    QLineEdit* m_pAttempts = nullptr;
    QCheckBox* m_pMoveErr = nullptr;
    QLabel* m_pTxtErrLabel = nullptr;
    QLineEdit* m_pTxtErrDir = nullptr;
    QLineEdit* m_pDefEmail = nullptr;
    QLineEdit* m_pPort = nullptr;
    QLineEdit* m_pSenderEmail = nullptr;
    QLineEdit* m_pSmtpServer = nullptr;
    QLineEdit* m_pSenderName = nullptr;
    QLineEdit* m_pSubject = nullptr;
    QPushButton* m_pTxtInBrowse = nullptr;
    QPushButton* m_pTxtOutBrowse = nullptr;
    QPushButton* m_pPdfDefBrowse = nullptr;
    QPushButton* m_pTxtErrBrowse = nullptr;
    QPushButton* m_pSendTest = nullptr;
    QPushButton* m_pAbout = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
};
