// The log viewer on real files: parsing, the command line, sorting, filtering, and following a log
// that is appended to and rotated while the window shows it.
#include "standins/logvista/CLogCommandLine.h"
#include "standins/logvista/CLogFilterModel.h"
#include "standins/logvista/CLogParser.h"
#include "standins/logvista/CLogTableModel.h"
#include "standins/logvista/CLogVistaWindow.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

namespace
{

void AppendText(const std::string& szPath, const std::string& szText)
{
    std::ofstream file(szPath, std::ios::binary | std::ios::app);
    file << szText;
}

std::string Record(int nCode, const std::string& szDate, const std::string& szTime,
                   const std::string& szMessage)
{
    char szHead[64];
    std::snprintf(szHead, sizeof(szHead), "%d,%04d,Text,", nCode / 1000, nCode);
    return szHead + szDate + "," + szTime + "," + szMessage + "\r\n";
}

// The cells of one column of the table as shown, top to bottom.
QStringList Column(const CLogVistaWindow& window, int nColumn)
{
    QStringList cells;
    const QAbstractItemModel* pModel = window.Table()->model();
    for (int i = 0; i < pModel->rowCount(); ++i)
        cells << pModel->index(i, nColumn).data().toString();
    return cells;
}

// Whether the row that shows the model's last (newest) row lies inside the table's viewport.
bool NewestVisible(const CLogVistaWindow& window)
{
    const int nLast = window.Model()->rowCount() - 1;
    const QModelIndex index = window.FilterModel()->mapFromSource(window.Model()->index(nLast, 0));
    const QRect rect = window.Table()->visualRect(index);
    return index.isValid() && window.Table()->viewport()->rect().contains(rect.center());
}

class LogVistaWindowTest : public ::testing::Test
{
protected:
    std::string LogPath() const { return m_dir.Native("tarvik.log"); }

    CTempDir m_dir{"logvista"};
};

} // namespace

TEST(LogVistaParser, SplitsSixFieldsAndKeepsMalformedLinesWhole)
{
    const SLogRecord record = CLogParser::ParseLine(
        "3,3009,Document monitoring service error,07/12/2026,10:24:58.031,File 'Rapport, ÄÖ.pdf' not exists, "
        "Attempt 2\r");
    EXPECT_EQ(record.m_eLevel, ELogLevel::Warning);
    EXPECT_EQ(record.m_szCode, "3009");
    EXPECT_EQ(record.m_szCodeText, "Document monitoring service error");
    EXPECT_EQ(record.m_szDate, "07/12/2026");
    EXPECT_EQ(record.m_szTime, "10:24:58.031");
    EXPECT_EQ(record.m_szMessage, "File 'Rapport, ÄÖ.pdf' not exists, Attempt 2");

    for (const char* szLine :
         {"a line without fields", "4,4004,Process info,07/12/2026,10:24:58.031",
          "x,4004,Process info,07/12/2026,10:24:58.031,msg",
          "4,40a4,Process info,07/12/2026,10:24:58.031,msg", "4,4004,Process info,7/12/2026,10:24:58.031,msg",
          "4,4004,Process info,07/13/2026,10:24:58.031,msg",
          "4,4004,Process info,07/12/2026,24:00:00.000,msg", ""})
    {
        const SLogRecord bad = CLogParser::ParseLine(szLine);
        EXPECT_EQ(bad.m_eLevel, ELogLevel::Unparsed) << szLine;
        EXPECT_EQ(bad.m_szMessage, szLine);
        EXPECT_TRUE(bad.m_szDate.empty() && bad.m_szCode.empty());
    }
}

TEST(LogVistaParser, MapsCategoriesToLevels)
{
    EXPECT_EQ(CLogParser::LevelOfCategory("0"), ELogLevel::Error);
    EXPECT_EQ(CLogParser::LevelOfCategory("1"), ELogLevel::Error);
    EXPECT_EQ(CLogParser::LevelOfCategory("3"), ELogLevel::Warning);
    EXPECT_EQ(CLogParser::LevelOfCategory("4"), ELogLevel::Information);
    // A system error number written in place of a code (10061 / 1000 = 10) is an error.
    EXPECT_EQ(CLogParser::LevelOfCategory("10"), ELogLevel::Error);
    EXPECT_EQ(CLogParser::LevelOfCategory("-1"), ELogLevel::Unparsed);
    EXPECT_EQ(CLogParser::LevelOfCategory(""), ELogLevel::Unparsed);
    EXPECT_EQ(CLogTableModel::LevelText(ELogLevel::Information), "information");
}

TEST(LogVistaCommandLine, JoinsTheWordsOfAnUnquotedPath)
{
    CLogCommandLine commandLine;
    ASSERT_TRUE(commandLine.Parse({"/path", "/srv/My", "Logs/tarvik.log", "/language", "English"}));
    EXPECT_EQ(commandLine.Path(), "/srv/My Logs/tarvik.log");
    EXPECT_EQ(commandLine.Language(), "English");

    CLogCommandLine withSwitchWord;
    ASSERT_TRUE(withSwitchWord.Parse({"-PATH", "/srv/a", "/language", "b.log", "/Language", "English"}));
    EXPECT_EQ(withSwitchWord.Path(), "/srv/a /language b.log");

    CLogCommandLine bare;
    ASSERT_TRUE(bare.Parse({"/srv/tarvik.log"}));
    EXPECT_EQ(bare.Path(), "/srv/tarvik.log");

    EXPECT_FALSE(CLogCommandLine().Parse({}));
    EXPECT_FALSE(CLogCommandLine().Parse({"/path", "/language", "English"}));
}

TEST_F(LogVistaWindowTest, ShowsEveryLineAndSortsByDateAsDates)
{
    // In file order; as text "01/01/2027" would sort before "31/12/2026".
    AppendText(LogPath(), Record(4004, "31/12/2026", "23:59:59.999", "started") +
                              Record(36, "01/01/2027", "00:00:00.000", "gave up, mailed report") +
                              "garbage that is no record\r\n" +
                              Record(3009, "15/06/2026", "09:00:00.000", "earliest") +
                              Record(1016, "01/01/2027", "00:00:00.001", "watch failed"));
    CLogVistaWindow window(LogPath());
    window.show();

    ASSERT_EQ(window.Model()->rowCount(), 5);
    EXPECT_EQ(Column(window, CLogTableModel::ColumnMessage),
              QStringList({"earliest", "started", "gave up, mailed report", "garbage that is no record",
                           "watch failed"}));
    EXPECT_EQ(Column(window, CLogTableModel::ColumnCategory),
              QStringList({"warning", "information", "error", "", "error"}));
    EXPECT_TRUE(NewestVisible(window));

    window.Table()->sortByColumn(CLogTableModel::ColumnTime, Qt::DescendingOrder);
    EXPECT_EQ(Column(window, CLogTableModel::ColumnDate),
              QStringList({"01/01/2027", "", "01/01/2027", "31/12/2026", "15/06/2026"}));
    window.Table()->sortByColumn(CLogTableModel::ColumnCode, Qt::AscendingOrder);
    EXPECT_EQ(Column(window, CLogTableModel::ColumnCode).mid(1),
              QStringList({"0036", "1016", "3009", "4004"}));
}

TEST_F(LogVistaWindowTest, FirstSizeFitsTheScreensFreeAreaWithEveryControlInSight)
{
    CLogVistaWindow window(LogPath());
    window.show();
    const QScreen* pScreen = window.screen();
    ASSERT_NE(pScreen, nullptr);
    const QSize available = pScreen->availableGeometry().size();
    // The offscreen screen (800x600) is smaller than the size the viewer likes.
    ASSERT_LT(available.width(), 1100);
    EXPECT_LE(window.width() + CLogVistaWindow::kFrameAllowance.width(), available.width());
    EXPECT_LE(window.height() + CLogVistaWindow::kFrameAllowance.height(), available.height());
    auto* pFollow = window.findChild<QCheckBox*>();
    ASSERT_NE(pFollow, nullptr);
    EXPECT_LE(pFollow->mapTo(&window, QPoint(pFollow->width(), 0)).x(), window.width());
}

TEST_F(LogVistaWindowTest, FiltersByCategoryAndText)
{
    AppendText(LogPath(),
               Record(4004, "07/12/2026", "10:00:00.000", "Documents monitoring service started") +
                   Record(3009, "07/12/2026", "10:00:01.000", "Skip reading new TXT file /in/a.txt") +
                   Record(3009, "07/12/2026", "10:00:02.000", "File '/pdf/Ärger.pdf' not exists") +
                   Record(36, "07/12/2026", "10:00:03.000", "Number of attempts exceeded") + "torn line\n");
    CLogVistaWindow window(LogPath());
    auto* pCategory = window.findChild<QComboBox*>("categoryFilter");
    auto* pText = window.findChild<QLineEdit*>("textFilter");
    ASSERT_TRUE(pCategory && pText);

    pCategory->setCurrentIndex(CLogFilterModel::ShowWarnings);
    EXPECT_EQ(Column(window, CLogTableModel::ColumnCode), QStringList({"3009", "3009"}));
    QTest::keyClicks(pText, "RGER.PDF");
    EXPECT_EQ(Column(window, CLogTableModel::ColumnMessage),
              QStringList({"File '/pdf/Ärger.pdf' not exists"}));
    pText->setText("äRGER");
    EXPECT_EQ(window.Table()->model()->rowCount(), 1);
    pCategory->setCurrentIndex(CLogFilterModel::ShowErrors);
    EXPECT_EQ(window.Table()->model()->rowCount(), 0);

    pText->clear();
    EXPECT_EQ(Column(window, CLogTableModel::ColumnCode), QStringList({"0036"}));
    pCategory->setCurrentIndex(CLogFilterModel::ShowAll);
    QTest::keyClicks(pText, "TORN");
    EXPECT_EQ(Column(window, CLogTableModel::ColumnMessage), QStringList({"torn line"}));
    EXPECT_TRUE(window.findChild<QLabel*>("statusLabel")->text().startsWith("5 records, 1 shown"));
}

TEST_F(LogVistaWindowTest, FollowsAppendsAndRotation)
{
    AppendText(LogPath(), Record(4004, "07/12/2026", "10:00:00.000", "first"));
    CLogVistaWindow window(LogPath());
    window.resize(800, 200);
    window.show();
    ASSERT_EQ(window.Model()->rowCount(), 1);

    // Many records and then half of one: the half shows as it stands until its line end arrives.
    std::string szMany;
    for (int i = 0; i < 200; ++i)
        szMany += Record(3009, "07/12/2026", "10:00:01.000", "record " + std::to_string(i));
    AppendText(LogPath(), szMany + "4,4004,Process info,07/12/2026,10:");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() == 202; }, 5000));
    EXPECT_EQ(window.Model()->Record(201).m_eLevel, ELogLevel::Unparsed);
    EXPECT_TRUE(NewestVisible(window));
    AppendText(LogPath(), "00:02.000,last, done\r\n");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window.Model()->Record(201).m_eLevel != ELogLevel::Unparsed; }, 5000));
    EXPECT_EQ(window.Model()->rowCount(), 202);
    EXPECT_EQ(window.Model()->Record(201).m_szMessage, "last, done");

    // Rotation as the service does it: the log is renamed to the backup, a new one starts.
    const std::string szBackup = m_dir.Native("tarvik.old.log");
    ASSERT_EQ(std::rename(LogPath().c_str(), szBackup.c_str()), 0);
    AppendText(LogPath(),
               Record(4003, "07/12/2026", "10:00:03.000",
                      "Previous log messages backed up to '" + szBackup + "'. New log file started."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() == 1; }, 5000));
    EXPECT_EQ(window.Model()->Record(0).m_szCode, "4003");
    AppendText(LogPath(), Record(4004, "07/12/2026", "10:00:04.000", "after rotation"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() == 2; }, 5000));
    // The backup's later changes are not the log's.
    AppendText(szBackup, Record(4004, "07/12/2026", "10:00:05.000", "into the backup"));
    QTest::qWait(300);
    EXPECT_EQ(window.Model()->rowCount(), 2);

    // A file put in its place that is larger than what was read: shown from its start, not from
    // the old read position.
    const std::string szOther = m_dir.Native("other.log");
    for (int i = 0; i < 50; ++i)
        AppendText(szOther, Record(4004, "08/12/2026", "09:00:00.000", "other " + std::to_string(i)));
    ASSERT_EQ(std::rename(szOther.c_str(), LogPath().c_str()), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() == 50; }, 5000));
    EXPECT_EQ(window.Model()->Record(0).m_szMessage, "other 0");
}

TEST_F(LogVistaWindowTest, SaysWhyAPathCannotBeReadAndShowsTheFileOnceItAppears)
{
    CLogVistaWindow window(LogPath());
    auto* pMessage = window.findChild<QLabel*>("messageLabel");
    ASSERT_TRUE(pMessage);
    EXPECT_FALSE(pMessage->isHidden());
    EXPECT_TRUE(pMessage->text().contains(QString::fromStdString(LogPath())));
    EXPECT_TRUE(pMessage->text().contains("No such file"));

    AppendText(LogPath(), Record(4004, "07/12/2026", "10:00:00.000", "started"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() == 1; }, 5000));
    EXPECT_TRUE(pMessage->isHidden());

    // A pipe in the log's place is refused at once instead of blocking the window.
    const std::string szPipe = m_dir.Native("pipe.log");
    ASSERT_EQ(CTestProcess::Run({"mkfifo", "-m", "600", szPipe}), 0);
    CLogVistaWindow onPipe(szPipe);
    EXPECT_TRUE(onPipe.findChild<QLabel*>("messageLabel")->text().contains("Not a regular file"));
    CLogVistaWindow onFolder(m_dir.Native());
    EXPECT_TRUE(onFolder.findChild<QLabel*>("messageLabel")->text().contains("Is a directory"));
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
