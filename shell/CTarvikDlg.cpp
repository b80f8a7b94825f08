// The settings form, the tray menu's commands and the test mail.
#include "shell/CTarvikDlg.h"

#include "config/CFMParams.h"
#include "engine/CFMonitorApp.h"
#include "log/CLogger.h"
#include "mail/CMIMEMessage.h"
#include "mail/CSmtpClient.h"
#include "platform/MessageBox.h"
#include "shell/CBrowseForFolder.h"
#include "util/ProgramPaths.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <memory>
#include <thread>

const wchar_t* const CTarvikDlg::kCaption = L" Veltrane document monitoring service settings";
const wchar_t* const CTarvikDlg::kTrayTip = L"Veltrane document monitoring service is running ...";
const wchar_t* const CTarvikDlg::kTestSubject = L"Veltrane document monitoring service test message";

namespace
{

enum : int
{
    kTxtInDir = 1000,
    kTxtInBrowse = 1001,
    kAttemptTimeout = 1003,
    kTxtOutDir = 1006,
    kTxtOutBrowse = 1007,
    kPdfDefDir = 1009,
    kPdfDefBrowse = 1010,
    kAttempts = 1011,
    kDefEmail = 1012,
    kMoveErr = 1014,
    kTxtErrDir = 1015,
    kTxtErrBrowse = 1016,
    kTxtErrLabel = 1017,
    kSendTest = 1270,
    kSubject = 1261,
    kPort = 1286,
    kSenderEmail = 1038,
    kSmtpServer = 1354,
    kSenderName = 1355,
    kOk = 1,
    kCancel = 2,
};

// What the test mail needs, shared by the form and the thread that runs the SMTP dialogue; the
// thread touches nothing else, so the form may stop waiting for it at any time.
struct SMailJob
{
    std::wstring m_szRecipient;
    std::wstring m_szSenderName;
    std::wstring m_szSenderEmail;
    std::wstring m_szServer;
    int32_t m_nPort = 0;
    bool m_bDelivered = false;
    std::wstring m_szError;
    std::atomic<bool> m_bDone{false};
};

void RunMailJob(const std::shared_ptr<SMailJob>& pJob)
{
    const std::wstring szBody = L"Hello,\r\nThis is an automatically generated "
                                L"by Veltrane document monitoring service test message.\r\n"
                                L"The message was delivered via SMTP: " +
                                pJob->m_szServer + L".\r\nPlease don't reply to this e-mail";
    CSmtpClient client;
    client.m_nPort = pJob->m_nPort;
    client.SetServer(pJob->m_szServer);
    client.SetSender(pJob->m_szSenderName, pJob->m_szSenderEmail);
    client.SetSubject(CTarvikDlg::kTestSubject);
    client.AddRecipients(pJob->m_szRecipient);
    client.AddBodyText(szBody);
    client.Message()->BuildMessage();
    pJob->m_bDelivered = client.Send();
    pJob->m_szError = client.LastError();
    pJob->m_bDone.store(true);
}

QLineEdit* MakeField(int nId, const QString& szLabel, bool bDigitsOnly, QWidget* pParent)
{
    auto* pField = new QLineEdit(pParent);
    pField->setObjectName(QString::number(nId));
    pField->setAccessibleName(szLabel);
    if (bDigitsOnly)
        pField->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), pField));
    return pField;
}

QPushButton* MakeButton(int nId, const QString& szText, const QString& szName, QWidget* pParent)
{
    auto* pButton = new QPushButton(szText, pParent);
    pButton->setObjectName(QString::number(nId));
    pButton->setAccessibleName(szName);
    pButton->setAutoDefault(false);
    return pButton;
}

QString Text(const std::wstring& sz)
{
    return QString::fromStdWString(sz);
}

} // namespace

CTarvikDlg::CTarvikDlg(CFMonitorApp* pEngine, QWidget* pParent)
    : CTrayDialog(QStringLiteral("TarvikService"), pParent), m_pEngine(pEngine)
{
    setWindowTitle(Text(kCaption));
    setWindowIcon(ProgramIcon());
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    BuildForm();
    FillFromSettings();
    SetTrayIcon(ProgramIcon());
    SetTrayTip(Text(kTrayTip));
    BuildMenu();
    AddTrayIcon();
}

CTarvikDlg::~CTarvikDlg() = default;

static void InitResources()
{
    Q_INIT_RESOURCE(tarvik); // the icons live in this static library
}

QIcon CTarvikDlg::ProgramIcon()
{
    static const bool s_bInit = (InitResources(), true);
    (void)s_bInit;
    QIcon icon;
    for (int nSize : {16, 22, 24, 32, 48, 128})
        icon.addFile(QStringLiteral(":/tarvik/icons/tarvik-%1.png").arg(nSize), QSize(nSize, nSize));
    return icon;
}

void CTarvikDlg::BuildForm()
{
    auto* pMain = new QVBoxLayout(this);

    auto* pDirs = new QGroupBox(QStringLiteral("Directories Settings"), this);
    auto* pDirGrid = new QGridLayout(pDirs);
    struct SDirRow
    {
        int nField;
        int nBrowse;
        const char* szLabel;
        const char* szWord;
    };
    const SDirRow dirs[] = {
        {kTxtInDir, kTxtInBrowse, "Temporary TXT files location:", "Incoming TXT"},
        {kTxtOutDir, kTxtOutBrowse, "Outgoing TXT files location:", "Outgoing TXT"},
        {kPdfDefDir, kPdfDefBrowse, "Default PDF files location:", "Default PDF"},
    };
    int nRow = 0;
    for (const SDirRow& row : dirs)
    {
        const QString szLabel = QString::fromLatin1(row.szLabel);
        pDirGrid->addWidget(new QLabel(szLabel, pDirs), nRow, 0);
        QLineEdit* pField = MakeField(row.nField, szLabel, false, pDirs);
        pField->setMinimumWidth(280);
        pDirGrid->addWidget(pField, nRow, 1);
        QPushButton* pBrowse =
            MakeButton(row.nBrowse, QStringLiteral("..."), QString::fromLatin1(row.szWord), pDirs);
        const int nField = row.nField;
        const QString szWord = QString::fromLatin1(row.szWord);
        connect(pBrowse, &QPushButton::clicked, this,
                [this, nField, szWord]() { BrowseForField(nField, szWord); });
        pDirGrid->addWidget(pBrowse, nRow, 2);
        ++nRow;
    }
    pMain->addWidget(pDirs);

    auto* pValid = new QGroupBox(QStringLiteral("Validation Settings"), this);
    auto* pValidGrid = new QGridLayout(pValid);
    pValidGrid->addWidget(new QLabel(QStringLiteral("PDF file detecting timeout:"), pValid), 0, 0);
    auto* pTimeoutRow = new QHBoxLayout;
    pTimeoutRow->addWidget(
        MakeField(kAttemptTimeout, QStringLiteral("PDF file detecting timeout:"), true, pValid));
    pTimeoutRow->addWidget(new QLabel(QStringLiteral("seconds."), pValid));
    pTimeoutRow->addStretch(1);
    pValidGrid->addLayout(pTimeoutRow, 0, 1, 1, 2);
    pValidGrid->addWidget(new QLabel(QStringLiteral("PDF file validation attempts:"), pValid), 1, 0);
    pValidGrid->addWidget(
        MakeField(kAttempts, QStringLiteral("PDF file validation attempts:"), false, pValid), 1, 1);
    const QString szMoveErr =
        QStringLiteral("Don't delete erroneous TXT files, but move them to a special directory");
    auto* pMoveErr = new QCheckBox(szMoveErr, pValid);
    pMoveErr->setObjectName(QString::number(kMoveErr));
    pMoveErr->setAccessibleName(szMoveErr);
    connect(pMoveErr, &QCheckBox::toggled, this, [this]() { OnMoveErrToggled(); });
    pValidGrid->addWidget(pMoveErr, 2, 0, 1, 3);
    const QString szErrLabel = QStringLiteral("Erroneous TXT files location:");
    auto* pErrLabel = new QLabel(szErrLabel, pValid);
    pErrLabel->setObjectName(QString::number(kTxtErrLabel));
    pValidGrid->addWidget(pErrLabel, 3, 0);
    pValidGrid->addWidget(MakeField(kTxtErrDir, szErrLabel, false, pValid), 3, 1);
    QPushButton* pErrBrowse =
        MakeButton(kTxtErrBrowse, QStringLiteral("..."), QStringLiteral("Erroneous TXT"), pValid);
    connect(pErrBrowse, &QPushButton::clicked, this,
            [this]() { BrowseForField(kTxtErrDir, QStringLiteral("Erroneous TXT")); });
    pValidGrid->addWidget(pErrBrowse, 3, 2);
    pMain->addWidget(pValid);

    auto* pMail = new QGroupBox(QStringLiteral("E-mail Settings"), this);
    auto* pMailGrid = new QGridLayout(pMail);
    struct SMailField
    {
        int nId;
        const char* szLabel;
        bool bDigits;
        int nRow;
        int nColumn;
    };
    const SMailField mailFields[] = {
        {kDefEmail, "Default e-mail address:", false, 0, 0}, {kPort, "Port:", true, 0, 2},
        {kSenderEmail, "Sender e-mail:", false, 1, 0},       {kSmtpServer, "SMTP Server:", false, 1, 2},
        {kSenderName, "Sender Name:", false, 2, 0},          {kSubject, "Subject:", false, 2, 2},
    };
    for (const SMailField& field : mailFields)
    {
        const QString szLabel = QString::fromLatin1(field.szLabel);
        pMailGrid->addWidget(new QLabel(szLabel, pMail), field.nRow, field.nColumn);
        pMailGrid->addWidget(MakeField(field.nId, szLabel, field.bDigits, pMail), field.nRow,
                             field.nColumn + 1);
    }
    QPushButton* pSend = MakeButton(kSendTest, QStringLiteral("Send a test message ..."),
                                    QStringLiteral("Send a test message ..."), pMail);
    connect(pSend, &QPushButton::clicked, this, [this]() { SendTestMessage(); });
    pMailGrid->addWidget(pSend, 3, 3, Qt::AlignRight);
    pMain->addWidget(pMail);

    // The About box has no system menu to live in on Linux desktops: it sits at the left of OK.
    auto* pButtons = new QHBoxLayout;
    QPushButton* pAbout =
        MakeButton(kIdAbout, QStringLiteral("&About tarvik..."), QStringLiteral("About tarvik"), this);
    connect(pAbout, &QPushButton::clicked, this, [this]() { ShowAbout(); });
    pButtons->addWidget(pAbout);
    pButtons->addStretch(1);
    QPushButton* pOk = MakeButton(kOk, QStringLiteral("OK"), QStringLiteral("OK"), this);
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &CTarvikDlg::accept);
    QPushButton* pCancel = MakeButton(kCancel, QStringLiteral("Cancel"), QStringLiteral("Cancel"), this);
    connect(pCancel, &QPushButton::clicked, this, &CTarvikDlg::reject);
    pButtons->addWidget(pOk);
    pButtons->addWidget(pCancel);
    pMain->addLayout(pButtons);
}

void CTarvikDlg::BuildMenu()
{
    QMenu* pMenu = TrayMenu();
    pMenu->setObjectName(QStringLiteral("TarvikTrayMenu"));
    struct SItem
    {
        int nId;
        const char* szText;
        const char* szTip;
    };
    const SItem items[] = {
        {kIdSettings, "Settings ...", ""},
        {kIdLog, "Log ...", ""},
        {0, nullptr, nullptr},
        {kIdStart, "Start Service", "Start monitoring service"},
        {kIdStop, "Stop Service", "Stop monitoring service"},
        {kIdRestart, "Restart Service", "Restart monitoring service"},
        {0, nullptr, nullptr},
        {kIdExit, "Exit", ""},
    };
    for (const SItem& item : items)
    {
        if (item.szText == nullptr)
        {
            pMenu->addSeparator();
            continue;
        }
        QAction* pAction = pMenu->addAction(QString::fromLatin1(item.szText));
        pAction->setObjectName(QString::number(item.nId));
        pAction->setStatusTip(QString::fromLatin1(item.szTip));
        const int nId = item.nId;
        connect(pAction, &QAction::triggered, this, [this, nId]() { OnCommand(nId); });
    }
    pMenu->setDefaultAction(MenuItem(kIdSettings));
}

QWidget* CTarvikDlg::Control(int nId) const
{
    return findChild<QWidget*>(QString::number(nId));
}

QLineEdit* CTarvikDlg::Field(int nId) const
{
    return findChild<QLineEdit*>(QString::number(nId));
}

QAction* CTarvikDlg::MenuItem(int nId) const
{
    return TrayMenu()->findChild<QAction*>(QString::number(nId));
}

int32_t CTarvikDlg::ReadNumber(const QString& szText)
{
    bool bOk = false;
    const int nValue = szText.trimmed().toInt(&bOk, 10);
    return bOk ? nValue : 0;
}

void CTarvikDlg::FillFromSettings()
{
    CFMParams& params = *m_pEngine->GetParams();
    params.Load();
    Field(kAttemptTimeout)->setText(QString::number(params.m_nAttemptTimeout));
    Field(kTxtInDir)->setText(Text(params.m_szTxtInDir));
    Field(kTxtOutDir)->setText(Text(params.m_szTxtOutDir));
    Field(kPdfDefDir)->setText(Text(params.m_szPdfDefDir));
    Field(kAttempts)->setText(QString::number(params.m_nAttempts));
    findChild<QCheckBox*>(QString::number(kMoveErr))->setChecked(params.m_bMoveErr != 0);
    Field(kTxtErrDir)->setText(Text(params.m_szTxtErrDir));
    Field(kDefEmail)->setText(Text(params.m_szDefEmail));
    Field(kSmtpServer)->setText(Text(params.m_szEmSmtpServer));
    Field(kSenderEmail)->setText(Text(params.m_szEmSenderEmail));
    Field(kSenderName)->setText(Text(params.m_szEmSenderName));
    Field(kSubject)->setText(Text(params.m_szEmSubject));
    Field(kPort)->setText(QString::number(params.m_nEmPort));
    OnMoveErrToggled();
}

void CTarvikDlg::OnMoveErrToggled()
{
    const bool bChecked = findChild<QCheckBox*>(QString::number(kMoveErr))->isChecked();
    for (int nId : {kTxtErrLabel, kTxtErrDir, kTxtErrBrowse})
        Control(nId)->setEnabled(bChecked);
}

void CTarvikDlg::ApplyAndRestart()
{
    m_pEngine->Stop(); // no engine thread reads the settings while they change
    CFMParams& params = *m_pEngine->GetParams();
    params.m_nAttemptTimeout = ReadNumber(Field(kAttemptTimeout)->text());
    params.m_szTxtInDir = Field(kTxtInDir)->text().toStdWString();
    params.m_szTxtOutDir = Field(kTxtOutDir)->text().toStdWString();
    params.m_szPdfDefDir = Field(kPdfDefDir)->text().toStdWString();
    params.m_nAttempts = ReadNumber(Field(kAttempts)->text());
    params.m_bMoveErr = findChild<QCheckBox*>(QString::number(kMoveErr))->isChecked() ? 1 : 0;
    params.m_szTxtErrDir = Field(kTxtErrDir)->text().toStdWString();
    params.m_szDefEmail = Field(kDefEmail)->text().toStdWString();
    params.m_szEmSmtpServer = Field(kSmtpServer)->text().toStdWString();
    params.m_szEmSenderEmail = Field(kSenderEmail)->text().toStdWString();
    params.m_szEmSenderName = Field(kSenderName)->text().toStdWString();
    params.m_szEmSubject = Field(kSubject)->text().toStdWString();
    params.m_nEmPort = ReadNumber(Field(kPort)->text());
    params.Save();
    m_pEngine->Start();
}

bool CTarvikDlg::SendTestMessage()
{
    if (m_bSending)
        return false;
    auto pJob = std::make_shared<SMailJob>();
    pJob->m_szRecipient = Field(kDefEmail)->text().toStdWString();
    pJob->m_szSenderName = Field(kSenderName)->text().toStdWString();
    pJob->m_szSenderEmail = Field(kSenderEmail)->text().toStdWString();
    pJob->m_nPort = ReadNumber(Field(kPort)->text());
    pJob->m_szServer = Field(kSmtpServer)->text().toStdWString();

    // The SMTP dialogue may take as long as a server takes to time out: it runs on a thread of its
    // own while the form, closed to input, keeps painting in a local event loop.
    m_bSending = true;
    Control(kSendTest)->setEnabled(false);
    const bool bWasEnabled = isEnabled();
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::thread(RunMailJob, pJob).detach();

    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop,
            [&loop, pJob]()
            {
                if (pJob->m_bDone.load())
                    loop.quit();
            });
    poll.start(50);
    if (!pJob->m_bDone.load())
        loop.exec(); // also left when the program is asked to end
    poll.stop();

    QApplication::restoreOverrideCursor();
    setEnabled(bWasEnabled);
    Control(kSendTest)->setEnabled(true);
    m_bSending = false;
    if (!pJob->m_bDone.load())
        return false; // the program ends; the thread finishes on its own

    if (pJob->m_bDelivered)
        platform::ShowMessageBox(L"The e-mail was successfully delivered to recipient(s): " +
                                     pJob->m_szRecipient + L". ",
                                 L"Send Test Message", platform::kMbOk | platform::kMbIconInformation);
    else
        platform::ShowMessageBox(L"E-mail delivery failed to recipient(s): " + pJob->m_szRecipient +
                                     L".\r\n" + pJob->m_szError,
                                 L"Send Test Message", platform::kMbOk | platform::kMbIconError);
    return pJob->m_bDelivered;
}

void CTarvikDlg::BrowseForField(int nFieldId, const QString& szWord)
{
    QLineEdit* pField = Field(nFieldId);
    CBrowseForFolder browser(
        this, (QStringLiteral("Browse For ") + szWord + QStringLiteral(" Files Folder")).toStdWString(),
        pField->text().toStdWString());
    browser.SetFlags(browser.Flags() | CBrowseForFolder::kEditBox);
    std::wstring szFolder;
    if (browser.Browse(szFolder))
        pField->setText(Text(szFolder));
}

void CTarvikDlg::SetMenuStates()
{
    const bool bStopped = m_pEngine->IsStopped();
    MenuItem(kIdStart)->setEnabled(bStopped);
    MenuItem(kIdStop)->setEnabled(!bStopped);
    MenuItem(kIdRestart)->setEnabled(!bStopped);
}

void CTarvikDlg::OnTrayMenuAboutToShow()
{
    SetMenuStates();
}

void CTarvikDlg::OnTrayRButtonUp(const QPoint& pt)
{
    SetMenuStates();
    CTrayDialog::OnTrayRButtonUp(pt);
}

void CTarvikDlg::OnCommand(int nId)
{
    switch (nId)
    {
    case kIdSettings:
        showNormal();
        raise();
        activateWindow();
        break;
    case kIdLog:
        ShowLog(ExecutableDirectory() + ExecutableFileName() + L".log");
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
            if (IsIconShown())
                DeleteTrayIcon();
            QMetaObject::invokeMethod(
                qApp, []() { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        }
        break;
    case kIdAbout:
        ShowAbout();
        break;
    default:
        break;
    }
}

void CTarvikDlg::ShowAbout()
{
    QDialog about(this);
    about.setObjectName(QStringLiteral("100"));
    about.setWindowTitle(QStringLiteral("About tarvik"));
    auto* pLayout = new QGridLayout(&about);
    auto* pIcon = new QLabel(&about);
    pIcon->setPixmap(ProgramIcon().pixmap(48, 48));
    pLayout->addWidget(pIcon, 0, 0);
    pLayout->addWidget(new QLabel(QStringLiteral("tarvik Version 1.0"), &about), 0, 1);
    auto* pOk = new QPushButton(QStringLiteral("OK"), &about);
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, &about, &QDialog::accept);
    pLayout->addWidget(pOk, 1, 1, Qt::AlignRight);
    about.exec();
}

void CTarvikDlg::accept()
{
    ApplyAndRestart();
    hide();
}

void CTarvikDlg::reject()
{
    if (!m_bSending)
        hide(); // the fields keep what was typed
}

void CTarvikDlg::closeEvent(QCloseEvent* pEvent)
{
    pEvent->ignore();
    reject();
}
