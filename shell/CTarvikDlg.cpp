// The settings form and the test mail.
#include "shell/CTarvikDlg.h"

#include "config/CFMParams.h"
#include "engine/CFMonitorApp.h"
#include "mail/CMIMEMessage.h"
#include "mail/CSmtpClient.h"
#include "platform/MessageBox.h"
#include "shell/CBrowseForFolder.h"
#include "shell/CTarvikMenu.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>

const wchar_t* const CTarvikDlg::kCaption = L" Veltrane document monitoring service settings";
const wchar_t* const CTarvikDlg::kTrayTip = L"Veltrane document monitoring service is running ...";
const wchar_t* const CTarvikDlg::kTestSubject = L"Veltrane document monitoring service test message";

// In the order of the form's fill and of OK.
const CTarvikDlg::SBinding CTarvikDlg::kBindings[] = {
    {SBinding::EKind::Number, &CTarvikDlg::m_pAttemptTimeout, nullptr, &CFMParams::m_nAttemptTimeout,
     nullptr},
    {SBinding::EKind::Text, &CTarvikDlg::m_pTxtInDir, nullptr, nullptr, &CFMParams::m_szTxtInDir},
    {SBinding::EKind::Text, &CTarvikDlg::m_pTxtOutDir, nullptr, nullptr, &CFMParams::m_szTxtOutDir},
    {SBinding::EKind::Text, &CTarvikDlg::m_pPdfDefDir, nullptr, nullptr, &CFMParams::m_szPdfDefDir},
    {SBinding::EKind::Number, &CTarvikDlg::m_pAttempts, nullptr, &CFMParams::m_nAttempts, nullptr},
    {SBinding::EKind::Flag, nullptr, &CTarvikDlg::m_pMoveErr, &CFMParams::m_bMoveErr, nullptr},
    {SBinding::EKind::Text, &CTarvikDlg::m_pTxtErrDir, nullptr, nullptr, &CFMParams::m_szTxtErrDir},
    {SBinding::EKind::Text, &CTarvikDlg::m_pDefEmail, nullptr, nullptr, &CFMParams::m_szDefEmail},
    {SBinding::EKind::Text, &CTarvikDlg::m_pSmtpServer, nullptr, nullptr, &CFMParams::m_szEmSmtpServer},
    {SBinding::EKind::Text, &CTarvikDlg::m_pSenderEmail, nullptr, nullptr, &CFMParams::m_szEmSenderEmail},
    {SBinding::EKind::Text, &CTarvikDlg::m_pSenderName, nullptr, nullptr, &CFMParams::m_szEmSenderName},
    {SBinding::EKind::Text, &CTarvikDlg::m_pSubject, nullptr, nullptr, &CFMParams::m_szEmSubject},
    {SBinding::EKind::Number, &CTarvikDlg::m_pPort, nullptr, &CFMParams::m_nEmPort, nullptr},
};

namespace
{

// What the test mail needs and what it gives back; the worker that runs the SMTP dialogue touches
// nothing else, so the form may stop waiting for it at any time.
struct SMailJob
{
    std::wstring m_szRecipient;
    std::wstring m_szSenderName;
    std::wstring m_szSenderEmail;
    std::wstring m_szServer;
    int32_t m_nPort = 0;
    bool m_bDelivered = false;
    std::wstring m_szError;
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
}

// The test mail's worker threads. Never deleted: a send still running when the program ends (the
// user exited while the server kept silent) is let go of instead of holding up the exit.
QThreadPool& MailPool()
{
    static QThreadPool* s_pPool = new QThreadPool;
    return *s_pPool;
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
    m_pMenu = new CTarvikMenu(TrayMenu(), m_pEngine, this);
    AddTrayIcon();
}

CTarvikDlg::~CTarvikDlg() = default;

static void InitResources()
{
    Q_INIT_RESOURCE(tarvik); // the icons are compiled into this module
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
        QLineEdit* CTarvikDlg::*pField;
        QPushButton* CTarvikDlg::*pBrowse;
        int nField;
        int nBrowse;
        const char* szLabel;
        const char* szWord;
    };
    const SDirRow dirs[] = {
        {&CTarvikDlg::m_pTxtInDir, &CTarvikDlg::m_pTxtInBrowse, 1000, 1001,
         "Temporary TXT files location:", "Incoming TXT"},
        {&CTarvikDlg::m_pTxtOutDir, &CTarvikDlg::m_pTxtOutBrowse, 1006, 1007,
         "Outgoing TXT files location:", "Outgoing TXT"},
        {&CTarvikDlg::m_pPdfDefDir, &CTarvikDlg::m_pPdfDefBrowse, 1009, 1010,
         "Default PDF files location:", "Default PDF"},
    };
    int nRow = 0;
    for (const SDirRow& row : dirs)
    {
        const QString szLabel = QString::fromLatin1(row.szLabel);
        const QString szWord = QString::fromLatin1(row.szWord);
        pDirGrid->addWidget(new QLabel(szLabel, pDirs), nRow, 0);
        QLineEdit* pField = MakeField(row.nField, szLabel, false, pDirs);
        pField->setMinimumWidth(280);
        this->*row.pField = pField;
        pDirGrid->addWidget(pField, nRow, 1);
        QPushButton* pBrowse = MakeButton(row.nBrowse, QStringLiteral("..."), szWord, pDirs);
        this->*row.pBrowse = pBrowse;
        connect(pBrowse, &QPushButton::clicked, this,
                [this, pField, szWord]() { BrowseForField(pField, szWord); });
        pDirGrid->addWidget(pBrowse, nRow, 2);
        ++nRow;
    }
    pMain->addWidget(pDirs);

    auto* pValid = new QGroupBox(QStringLiteral("Validation Settings"), this);
    auto* pValidGrid = new QGridLayout(pValid);
    const QString szTimeout = QStringLiteral("PDF file detecting timeout:");
    pValidGrid->addWidget(new QLabel(szTimeout, pValid), 0, 0);
    auto* pTimeoutRow = new QHBoxLayout;
    m_pAttemptTimeout = MakeField(1003, szTimeout, true, pValid);
    pTimeoutRow->addWidget(m_pAttemptTimeout);
    pTimeoutRow->addWidget(new QLabel(QStringLiteral("seconds."), pValid));
    pTimeoutRow->addStretch(1);
    pValidGrid->addLayout(pTimeoutRow, 0, 1, 1, 2);
    const QString szAttempts = QStringLiteral("PDF file validation attempts:");
    pValidGrid->addWidget(new QLabel(szAttempts, pValid), 1, 0);
    m_pAttempts = MakeField(1011, szAttempts, false, pValid);
    pValidGrid->addWidget(m_pAttempts, 1, 1);
    const QString szMoveErr =
        QStringLiteral("Don't delete erroneous TXT files, but move them to a special directory");
    m_pMoveErr = new QCheckBox(szMoveErr, pValid);
    m_pMoveErr->setObjectName(QStringLiteral("1014"));
    m_pMoveErr->setAccessibleName(szMoveErr);
    connect(m_pMoveErr, &QCheckBox::toggled, this, [this]() { OnMoveErrToggled(); });
    pValidGrid->addWidget(m_pMoveErr, 2, 0, 1, 3);
    const QString szErrLabel = QStringLiteral("Erroneous TXT files location:");
    m_pTxtErrLabel = new QLabel(szErrLabel, pValid);
    m_pTxtErrLabel->setObjectName(QStringLiteral("1017"));
    pValidGrid->addWidget(m_pTxtErrLabel, 3, 0);
    m_pTxtErrDir = MakeField(1015, szErrLabel, false, pValid);
    pValidGrid->addWidget(m_pTxtErrDir, 3, 1);
    m_pTxtErrBrowse = MakeButton(1016, QStringLiteral("..."), QStringLiteral("Erroneous TXT"), pValid);
    connect(m_pTxtErrBrowse, &QPushButton::clicked, this,
            [this]() { BrowseForField(m_pTxtErrDir, QStringLiteral("Erroneous TXT")); });
    pValidGrid->addWidget(m_pTxtErrBrowse, 3, 2);
    pMain->addWidget(pValid);

    auto* pMail = new QGroupBox(QStringLiteral("E-mail Settings"), this);
    auto* pMailGrid = new QGridLayout(pMail);
    struct SMailField
    {
        QLineEdit* CTarvikDlg::*pField;
        int nId;
        const char* szLabel;
        bool bDigits;
        int nRow;
        int nColumn;
    };
    const SMailField mailFields[] = {
        {&CTarvikDlg::m_pDefEmail, 1012, "Default e-mail address:", false, 0, 0},
        {&CTarvikDlg::m_pPort, 1286, "Port:", true, 0, 2},
        {&CTarvikDlg::m_pSenderEmail, 1038, "Sender e-mail:", false, 1, 0},
        {&CTarvikDlg::m_pSmtpServer, 1354, "SMTP Server:", false, 1, 2},
        {&CTarvikDlg::m_pSenderName, 1355, "Sender Name:", false, 2, 0},
        {&CTarvikDlg::m_pSubject, 1261, "Subject:", false, 2, 2},
    };
    for (const SMailField& field : mailFields)
    {
        const QString szLabel = QString::fromLatin1(field.szLabel);
        pMailGrid->addWidget(new QLabel(szLabel, pMail), field.nRow, field.nColumn);
        this->*field.pField = MakeField(field.nId, szLabel, field.bDigits, pMail);
        pMailGrid->addWidget(this->*field.pField, field.nRow, field.nColumn + 1);
    }
    m_pSendTest = MakeButton(1270, QStringLiteral("Send a test message ..."),
                             QStringLiteral("Send a test message ..."), pMail);
    connect(m_pSendTest, &QPushButton::clicked, this, [this]() { SendTestMessage(); });
    pMailGrid->addWidget(m_pSendTest, 3, 3, Qt::AlignRight);
    pMain->addWidget(pMail);

    // The About box has no system menu to live in on Linux desktops: it sits at the left of OK.
    auto* pButtons = new QHBoxLayout;
    m_pAbout = MakeButton(CTarvikMenu::kIdAbout, QStringLiteral("&About tarvik..."),
                          QStringLiteral("About tarvik"), this);
    connect(m_pAbout, &QPushButton::clicked, this, [this]() { ShowAbout(); });
    pButtons->addWidget(m_pAbout);
    pButtons->addStretch(1);
    m_pOk = MakeButton(1, QStringLiteral("OK"), QStringLiteral("OK"), this);
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &CTarvikDlg::accept);
    m_pCancel = MakeButton(2, QStringLiteral("Cancel"), QStringLiteral("Cancel"), this);
    connect(m_pCancel, &QPushButton::clicked, this, &CTarvikDlg::reject);
    pButtons->addWidget(m_pOk);
    pButtons->addWidget(m_pCancel);
    pMain->addLayout(pButtons);
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
    for (const SBinding& binding : kBindings)
    {
        switch (binding.eKind)
        {
        case SBinding::EKind::Number:
            (this->*binding.pField)->setText(QString::number(params.*binding.pNumber));
            break;
        case SBinding::EKind::Text:
            (this->*binding.pField)->setText(Text(params.*binding.pText));
            break;
        case SBinding::EKind::Flag:
            (this->*binding.pBox)->setChecked(params.*binding.pNumber != 0);
            break;
        }
    }
    OnMoveErrToggled();
}

void CTarvikDlg::OnMoveErrToggled()
{
    const bool bChecked = m_pMoveErr->isChecked();
    m_pTxtErrLabel->setEnabled(bChecked);
    m_pTxtErrDir->setEnabled(bChecked);
    m_pTxtErrBrowse->setEnabled(bChecked);
}

void CTarvikDlg::ApplyAndRestart()
{
    m_pEngine->Stop(); // no engine thread reads the settings while they change
    CFMParams& params = *m_pEngine->GetParams();
    for (const SBinding& binding : kBindings)
    {
        switch (binding.eKind)
        {
        case SBinding::EKind::Number:
            params.*binding.pNumber = ReadNumber((this->*binding.pField)->text());
            break;
        case SBinding::EKind::Text:
            params.*binding.pText = (this->*binding.pField)->text().toStdWString();
            break;
        case SBinding::EKind::Flag:
            params.*binding.pNumber = (this->*binding.pBox)->isChecked() ? 1 : 0;
            break;
        }
    }
    // The engine starts again without loading the settings: the separators that loading would add
    // must be there now.
    params.NormaliseFolders();
    params.Save();
    m_pEngine->Start();
}

bool CTarvikDlg::SendTestMessage()
{
    if (m_bSending)
        return false;
    auto pJob = std::make_shared<SMailJob>();
    pJob->m_szRecipient = m_pDefEmail->text().toStdWString();
    pJob->m_szSenderName = m_pSenderName->text().toStdWString();
    pJob->m_szSenderEmail = m_pSenderEmail->text().toStdWString();
    pJob->m_nPort = ReadNumber(m_pPort->text());
    pJob->m_szServer = m_pSmtpServer->text().toStdWString();

    // The SMTP dialogue may take as long as a server takes to time out: it runs on a worker while
    // the form, closed to input, keeps painting in a local event loop.
    m_bSending = true;
    m_pSendTest->setEnabled(false);
    const bool bWasEnabled = isEnabled();
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);

    QEventLoop loop;
    QFutureWatcher<void> watcher;
    connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    const QFuture<void> future = QtConcurrent::run(&MailPool(), RunMailJob, pJob);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec(); // also left when the program is asked to end

    QApplication::restoreOverrideCursor();
    setEnabled(bWasEnabled);
    m_pSendTest->setEnabled(true);
    m_bSending = false;
    if (!future.isFinished())
        return false; // the program ends; the worker finishes on its own

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

void CTarvikDlg::BrowseForField(QLineEdit* pField, const QString& szWord)
{
    CBrowseForFolder browser(
        this, (QStringLiteral("Browse For ") + szWord + QStringLiteral(" Files Folder")).toStdWString(),
        pField->text().toStdWString());
    browser.SetFlags(browser.Flags() | CBrowseForFolder::kEditBox);
    std::wstring szFolder;
    if (browser.Browse(szFolder))
        pField->setText(Text(szFolder));
}

void CTarvikDlg::ShowForm()
{
    showNormal();
    raise();
    activateWindow();
}

void CTarvikDlg::OnTrayMenuAboutToShow()
{
    m_pMenu->SetMenuStates();
}

void CTarvikDlg::OnTrayRButtonUp(const QPoint& pt)
{
    m_pMenu->SetMenuStates();
    CTrayDialog::OnTrayRButtonUp(pt);
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
