// The settings form, the tray menu's states and commands, the folder browser, the Qt message boxes
// and the test mail, driven with QTest on the offscreen platform against a real engine, real INI
// files and a real SMTP server on loopback. Each run copies the executable into a directory of its
// own first: the engine keeps its INI file and log beside the executable.
#include "config/CFMParams.h"
#include "engine/CFMonitorApp.h"
#include "platform/MessageBox.h"
#include "shell/CQtMessageBoxPresenter.h"
#include "shell/CTarvikDlg.h"
#include "shell/CTarvikMenu.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CLoopbackListener.h"
#include "tests/support/CSmtpSink.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

namespace fs = std::filesystem;

namespace
{

fs::path g_root; // the run's own directory: the executable, its INI file, objects, registry

// Answers every box with a fixed button and remembers what it was asked.
class CRecordingPresenter : public platform::IMessageBoxPresenter
{
public:
    int Show(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType) override
    {
        m_vTexts.push_back(szText);
        m_szCaption = szCaption;
        m_nType = nType;
        return m_nAnswer;
    }
    std::vector<std::wstring> m_vTexts;
    std::wstring m_szCaption;
    uint32_t m_nType = 0;
    int m_nAnswer = platform::kIdOk;
};

class ShellDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::remove(g_root / "test_shell_dialog.ini");
        platform::SetMessageBoxPresenter(&m_presenter);
    }
    void TearDown() override { platform::SetMessageBoxPresenter(nullptr); }

    void WriteIni(const std::string& szGeneral, const std::string& szMail)
    {
        std::ofstream(g_root / "test_shell_dialog.ini", std::ios::binary)
            << tests::Utf16Ini("[General]\r\n" + szGeneral + "[E-mail]\r\n" + szMail);
    }
    std::string Ini() const { return tests::ReadFile(g_root / "test_shell_dialog.ini"); }

    CRecordingPresenter m_presenter;
};

// Runs fnWhile inside the next modal dialog's event loop (found by type), then returns.
template <class T> void WhenModalOpens(const std::function<void(T*)>& fnWhile)
{
    QTimer::singleShot(50,
                       [fnWhile]()
                       {
                           for (QWidget* p : QApplication::topLevelWidgets())
                               if (auto* pDialog = qobject_cast<T*>(p);
                                   pDialog != nullptr && pDialog->isVisible())
                               {
                                   fnWhile(pDialog);
                                   return;
                               }
                           ADD_FAILURE() << "no modal dialog opened";
                       });
}

TEST_F(ShellDialogTest, FormShowsSettingsAndOkStoresEditedFieldsAndRestartsTheEngine)
{
    WriteIni(
        "AttemptTimeout=3\r\nTxtInDir=/srv/in\r\nTxtOutDir=/srv/out\r\nPdfDefDir=/srv/pdf\r\nAttempts=4\r\n"
        "MoveErr=1\r\nTxtErrDir=/srv/err\r\n",
        "DefEmail=ops@example.org\r\nEmSmtpServer=mail.example.org\r\nEmSenderEmail=tarvik@example.org\r\n"
        "EmSenderName=Tarvik\r\nEmSubject=Failed\r\nEmPort=2525\r\n");
    CFMonitorApp engine;
    CTarvikDlg dlg(&engine);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.windowTitle(), QString::fromStdWString(CTarvikDlg::kCaption));
    EXPECT_EQ(dlg.AttemptTimeoutField()->text(), "3");
    EXPECT_EQ(dlg.TxtInDirField()->text(), "/srv/in/");
    EXPECT_EQ(dlg.TxtErrDirField()->text(), "/srv/err/");
    EXPECT_EQ(dlg.PortField()->text(), "2525");
    EXPECT_EQ(dlg.SmtpServerField()->accessibleName(), "SMTP Server:");
    EXPECT_TRUE(dlg.TxtErrBrowseButton()->isEnabled());

    // Unchecking greys the error-directory controls; the field keeps its text and is still saved.
    dlg.MoveErrBox()->click();
    const QWidget* const errControls[] = {dlg.TxtErrDirField(), dlg.TxtErrBrowseButton(), dlg.TxtErrLabel()};
    for (const QWidget* pControl : errControls)
        EXPECT_FALSE(pControl->isEnabled()) << pControl->objectName().toStdString();
    EXPECT_EQ(dlg.TxtErrDirField()->text(), "/srv/err/");

    // Digits-only fields take no letters; a free-text number that is not whole is stored as 0.
    dlg.AttemptTimeoutField()->clear();
    QTest::keyClicks(dlg.AttemptTimeoutField(), "1x2");
    EXPECT_EQ(dlg.AttemptTimeoutField()->text(), "12");
    dlg.AttemptsField()->setText("7.5");
    dlg.PortField()->clear();
    dlg.SenderNameField()->setText("Night Shift");

    engine.Stop(); // OK starts the engine even when it was stopped
    ASSERT_TRUE(engine.IsStopped());
    dlg.show();
    QTest::mouseClick(dlg.OkButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(engine.IsStopped());
    const std::string szIni = Ini();
    for (const char* szLine : {"AttemptTimeout=12", "Attempts=0", "MoveErr=0", "TxtErrDir=/srv/err/",
                               "EmPort=0", "EmSenderName=Night Shift"})
        EXPECT_NE(szIni.find(tests::Utf16Ini(szLine).substr(2)), std::string::npos) << szLine;
    engine.Stop();
}

TEST_F(ShellDialogTest, OkStoresTypedOrChosenFoldersWithTheirSeparatorAsLoadingWould)
{
    const fs::path chosen = g_root / "chosen";
    fs::create_directories(chosen);
    WriteIni("TxtInDir=/srv/in/\r\nMoveErr=1\r\n", "");
    CFMonitorApp engine;
    CTarvikDlg dlg(&engine);
    // Typed without a separator, chosen in the browser (which gives none), already with one, empty.
    dlg.TxtOutDirField()->setText("/srv/out");
    WhenModalOpens<QFileDialog>(
        [&](QFileDialog* p)
        {
            p->setDirectory(QString::fromStdString(chosen.string()));
            static_cast<QDialog*>(p)->accept();
        });
    QTest::mouseClick(dlg.PdfDefBrowseButton(), Qt::LeftButton);
    ASSERT_EQ(dlg.PdfDefDirField()->text(), QString::fromStdString(chosen.string()));
    dlg.TxtErrDirField()->setText("");
    dlg.show();
    QTest::mouseClick(dlg.OkButton(), Qt::LeftButton);

    // The engine runs on what OK stored, without a load in between: a released control file goes
    // into the folder as <folder>/<name>, not beside it as <folder><name>.
    const CFMParams& params = *engine.GetParams();
    EXPECT_EQ(params.m_szTxtInDir, L"/srv/in/");
    EXPECT_EQ(params.m_szTxtOutDir, L"/srv/out/");
    EXPECT_EQ(params.m_szPdfDefDir, chosen.wstring() + L"/");
    EXPECT_EQ(params.m_szTxtErrDir, L"");
    const std::string szIni = Ini();
    for (const std::string& szLine :
         {std::string("TxtOutDir=/srv/out/\r\n"), "PdfDefDir=" + chosen.string() + "/\r\n",
          std::string("TxtErrDir=\r\n")})
        EXPECT_NE(szIni.find(tests::Utf16Ini(szLine).substr(2)), std::string::npos) << szLine;
    engine.Stop();
}

TEST(TrayDialogTest, WatcherItemIsRecognisedHoweverTheWatcherNamesIt)
{
    // Bus names of this process (42): its well-known item name and the unique names of its tray
    // icon's connection; another process (7) owns ":1.9".
    const auto fnPidOf = [](const QString& szName) -> qint64
    {
        if (szName == ":1.7" || szName == ":1.15" || szName == "org.kde.StatusNotifierItem-42-2")
            return 42;
        return szName == ":1.9" ? 7 : -1;
    };
    for (const char* szItem :
         {":1.7", ":1.7/StatusNotifierItem", ":1.15/org/ayatana/NotificationItem/x",
          "org.kde.StatusNotifierItem-42-2", "org.kde.StatusNotifierItem-42-3/StatusNotifierItem"})
        EXPECT_TRUE(CTrayDialog::ListsItemOf({":1.9", szItem}, 42, fnPidOf)) << szItem;
    // Gone: only another process's items, a name nobody owns any more, nothing, or a mere path.
    EXPECT_FALSE(
        CTrayDialog::ListsItemOf({":1.9", ":1.99", "org.kde.StatusNotifierItem-421-1"}, 42, fnPidOf));
    EXPECT_FALSE(CTrayDialog::ListsItemOf({}, 42, fnPidOf));
    EXPECT_FALSE(CTrayDialog::ListsItemOf({"/StatusNotifierItem"}, 42, fnPidOf));
}

TEST_F(ShellDialogTest, CancelKeepsTypedValuesAndLeavesTheIniFileAlone)
{
    WriteIni("AttemptTimeout=3\r\n", "EmPort=25\r\n");
    CFMonitorApp engine;
    CTarvikDlg dlg(&engine);
    const std::string szBefore = Ini();
    dlg.Menu().OnCommand(CTarvikMenu::kIdSettings);
    EXPECT_TRUE(dlg.isVisible());
    dlg.AttemptTimeoutField()->setText("99");
    QTest::mouseClick(dlg.CancelButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(Ini(), szBefore);
    dlg.OnTrayLButtonDblClk(QPoint()); // a double click on the icon shows the form again
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.AttemptTimeoutField()->text(), "99");
    // Minimising hides the form into the tray and keeps the icon.
    dlg.showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&dlg]() { return !dlg.isVisible(); }, 2000));
    EXPECT_TRUE(dlg.IsIconShown());
}

TEST_F(ShellDialogTest, MenuStatesFollowTheEngineAndExitAsksFirst)
{
    WriteIni("AttemptTimeout=1\r\n", "");
    CFMonitorApp engine;
    CTarvikDlg dlg(&engine);
    QMenu* pMenu = dlg.TrayMenu();
    // The texts as shown; each item has an accelerator of its own, by which a person (or a script)
    // chooses it in the open menu whatever its place.
    QStringList texts;
    QSet<QKeySequence> accelerators;
    for (QAction* pAction : pMenu->actions())
    {
        texts << (pAction->isSeparator() ? "-" : QString(pAction->text()).remove('&'));
        if (!pAction->isSeparator())
            accelerators.insert(QKeySequence::mnemonic(pAction->text()));
    }
    EXPECT_EQ(texts.join('|'), "Settings ...|Log ...|-|Start Service|Stop Service|Restart Service|-|Exit");
    EXPECT_EQ(accelerators.size(), 6);
    EXPECT_FALSE(accelerators.contains(QKeySequence()));
    EXPECT_EQ(pMenu->defaultAction(), dlg.Menu().MenuItem(CTarvikMenu::kIdSettings));

    engine.Run();
    emit pMenu->aboutToShow();
    EXPECT_FALSE(dlg.Menu().MenuItem(CTarvikMenu::kIdStart)->isEnabled());
    EXPECT_TRUE(dlg.Menu().MenuItem(CTarvikMenu::kIdStop)->isEnabled());
    EXPECT_TRUE(dlg.Menu().MenuItem(CTarvikMenu::kIdRestart)->isEnabled());
    dlg.Menu().MenuItem(CTarvikMenu::kIdStop)->trigger();
    EXPECT_TRUE(engine.IsStopped());
    emit pMenu->aboutToShow();
    EXPECT_TRUE(dlg.Menu().MenuItem(CTarvikMenu::kIdStart)->isEnabled());
    EXPECT_FALSE(dlg.Menu().MenuItem(CTarvikMenu::kIdStop)->isEnabled());
    EXPECT_FALSE(dlg.Menu().MenuItem(CTarvikMenu::kIdRestart)->isEnabled());
    dlg.Menu().MenuItem(CTarvikMenu::kIdStart)->trigger();
    EXPECT_FALSE(engine.IsStopped());

    // No and Cancel change nothing; Yes removes the icon at once and ends the loop with code 0.
    for (int nAnswer : {platform::kIdNo, platform::kIdCancel})
    {
        m_presenter.m_nAnswer = nAnswer;
        dlg.Menu().OnCommand(CTarvikMenu::kIdExit);
        EXPECT_TRUE(dlg.IsIconShown());
    }
    EXPECT_EQ(m_presenter.m_szCaption, L"Stop service");
    EXPECT_EQ(m_presenter.m_vTexts.back(), L"Are you sure to stop monitoring service?");
    EXPECT_EQ(m_presenter.m_nType, platform::kMbYesNoCancel | platform::kMbIconWarning);
    m_presenter.m_nAnswer = platform::kIdYes;
    dlg.Menu().OnCommand(CTarvikMenu::kIdExit);
    EXPECT_FALSE(dlg.IsIconShown());
    QTimer::singleShot(5000, []() { QCoreApplication::exit(7); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    // A heartbeat's re-add brings the icon back.
    EXPECT_TRUE(dlg.AddTrayIcon());
    EXPECT_TRUE(dlg.IsIconShown());
    engine.Stop();
}

TEST_F(ShellDialogTest, BrowserOpensAtTheFieldsFolderAndOnlyConfirmationChangesTheField)
{
    const fs::path start = g_root / "start dir", other = g_root / "other";
    fs::create_directories(start);
    fs::create_directories(other);
    WriteIni("TxtInDir=" + start.string() + "\r\n", "");
    CFMonitorApp engine;
    CTarvikDlg dlg(&engine);
    const QString szBefore = dlg.TxtInDirField()->text();

    QString szTitle, szDirectory, szSelected;
    WhenModalOpens<QFileDialog>(
        [&](QFileDialog* p)
        {
            szTitle = p->windowTitle();
            szDirectory = p->directory().absolutePath();
            szSelected = p->selectedFiles().value(0);
            p->reject();
        });
    QTest::mouseClick(dlg.TxtInBrowseButton(), Qt::LeftButton);
    EXPECT_EQ(szTitle, "Browse For Incoming TXT Files Folder");
    EXPECT_EQ(szSelected, QString::fromStdString(start.string()));
    EXPECT_EQ(dlg.TxtInDirField()->text(), szBefore);

    WhenModalOpens<QFileDialog>(
        [&](QFileDialog* p)
        {
            p->setDirectory(QString::fromStdString(other.string())); // the user went into the folder
            static_cast<QDialog*>(p)->accept();
        });
    dlg.BrowseForField(dlg.PdfDefDirField(), "Default PDF");
    EXPECT_EQ(dlg.PdfDefDirField()->text(), QString::fromStdString(other.string()));
    EXPECT_EQ(Ini().find(tests::Utf16Ini("other").substr(2)), std::string::npos); // nothing stored before OK
}

TEST_F(ShellDialogTest, QtBoxesCarryCaptionIconButtonsAndDefault)
{
    CQtMessageBoxPresenter presenter;
    QString szTitle, szText, szDefault;
    QMessageBox::Icon eIcon = QMessageBox::NoIcon;
    WhenModalOpens<QMessageBox>(
        [&](QMessageBox* p)
        {
            szTitle = p->windowTitle();
            szText = p->text();
            eIcon = p->icon();
            szDefault = p->defaultButton() ? p->defaultButton()->text() : QString();
            p->button(QMessageBox::No)->click();
        });
    EXPECT_EQ(presenter.Show(L"Line one\r\nLine two", L"Tarvik Service",
                             platform::kMbYesNoCancel | platform::kMbIconWarning | platform::kMbDefButton3),
              platform::kIdNo);
    EXPECT_EQ(szTitle, "Tarvik Service");
    EXPECT_EQ(szText, "Line one\nLine two");
    EXPECT_EQ(eIcon, QMessageBox::Warning);
    EXPECT_EQ(szDefault.remove('&'), "Cancel");

    // From another thread no box can wait on the user-interface thread: the default answer at once.
    int nAnswer = 0;
    std::thread([&]() { nAnswer = presenter.Show(L"x", L"y", platform::kMbYesNo | platform::kMbDefButton2); })
        .join();
    EXPECT_EQ(nAnswer, platform::kIdNo);
}

TEST_F(ShellDialogTest, TestMailUsesTheTypedValuesAndReportsDeliveryAndFailure)
{
    CSmtpSink sink;
    ASSERT_TRUE(sink.Start()) << sink.Error();
    WriteIni("", "DefEmail=saved@example.org\r\nEmSubject=Saved subject\r\nEmPort=1\r\n");
    CFMonitorApp engine;
    CTarvikDlg dlg(&engine);
    dlg.DefEmailField()->setText("typed@example.org");
    dlg.SmtpServerField()->setText("127.0.0.1");
    dlg.SenderEmailField()->setText("sender@example.org");
    dlg.SenderNameField()->setText("Form Sender");
    dlg.PortField()->setText(QString::number(sink.Port()));
    EXPECT_TRUE(dlg.SendTestMessage());
    ASSERT_TRUE(sink.WaitForMessages(1)) << sink.Error();
    const CSmtpSink::SMessage msg = sink.Read(1);
    EXPECT_EQ(msg.m_vRcptTos, std::vector<std::string>{"typed@example.org"});
    EXPECT_NE(msg.m_szRaw.find("Subject: Veltrane document monitoring service test message"),
              std::string::npos);
    EXPECT_NE(msg.m_szRaw.find("The message was delivered via SMTP: 127.0.0.1."), std::string::npos);
    EXPECT_EQ(msg.m_szRaw.find("Saved subject"), std::string::npos);
    EXPECT_EQ(m_presenter.m_szCaption, L"Send Test Message");
    EXPECT_EQ(m_presenter.m_vTexts.back(),
              L"The e-mail was successfully delivered to recipient(s): typed@example.org. ");
    EXPECT_EQ(m_presenter.m_nType, platform::kMbOk | platform::kMbIconInformation);

    // A server that accepts and says nothing for a while, then hangs up: the form is closed to
    // input but its loop keeps running meanwhile; then the failure is shown with the client's text.
    CLoopbackListener listener;
    ASSERT_TRUE(listener.Listen());
    std::thread server(
        [&listener]()
        {
            const int hPeer = listener.Accept(10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            if (hPeer >= 0)
                close(hPeer);
        });
    dlg.PortField()->setText(QString::number(listener.Port()));
    dlg.show();
    int nTicks = 0;
    bool bClosedToInput = true;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&]()
                     {
                         if (!dlg.IsSending())
                             return;
                         ++nTicks;
                         bClosedToInput = bClosedToInput && !dlg.isEnabled() &&
                                          !dlg.SendTestButton()->isEnabled() &&
                                          QApplication::overrideCursor() != nullptr &&
                                          QApplication::overrideCursor()->shape() == Qt::WaitCursor;
                     });
    sampler.start(100);
    EXPECT_FALSE(dlg.SendTestMessage());
    sampler.stop();
    server.join();
    EXPECT_GE(nTicks, 3);
    EXPECT_TRUE(bClosedToInput);
    EXPECT_TRUE(dlg.isEnabled());
    EXPECT_TRUE(dlg.SendTestButton()->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(m_presenter.m_vTexts.back().rfind(
                  L"E-mail delivery failed to recipient(s): typed@example.org.\r\n", 0),
              0u);
    EXPECT_GT(m_presenter.m_vTexts.back().size(), 62u); // the client's reason follows
    EXPECT_EQ(m_presenter.m_nType, platform::kMbOk | platform::kMbIconError);
}

} // namespace

int main(int argc, char** argv)
{
    // Each run in a directory of its own, from a copy of this executable.
    const char* szRoot = std::getenv("TARVIK_SHELL_TEST_ROOT");
    if (szRoot == nullptr)
    {
        const CTempDir root("shell");
        fs::copy_file(fs::read_symlink("/proc/self/exe"), root.Path() / "test_shell_dialog");
        std::vector<std::string> args = {root.Native("test_shell_dialog")};
        for (int i = 1; i < argc; ++i)
            args.emplace_back(argv[i]);
        CTestProcess::SOptions options;
        options.m_environment = {{"TARVIK_SHELL_TEST_ROOT", root.Native()}};
        // In the sanitizer build: what the desktop libraries keep until the end is not a leak of ours.
        if (std::getenv("LSAN_OPTIONS") == nullptr)
            options.m_environment.emplace_back("LSAN_OPTIONS",
                                               "suppressions=" TARVIK_SOURCE_DIR "/tests/shell/lsan.supp");
        const int nResult = CTestProcess::Run(args, options);
        return nResult >= 0 ? nResult : 1;
    }
    g_root = szRoot;
    fs::create_directories(g_root / "xdg");
    fs::permissions(g_root / "xdg", fs::perms::owner_all);
    CIsolatedEnvironment environment;
    environment.Set("XDG_RUNTIME_DIR", (g_root / "xdg").c_str());
    environment.Set("QT_QPA_PLATFORM", "offscreen");
    environment.Set("DISPLAY", ":offscreen"); // boxes go to the installed presenter
    environment.Set("TARVIK_HEADLESS", nullptr);
    environment.Set("DBUS_SESSION_BUS_ADDRESS", nullptr);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
