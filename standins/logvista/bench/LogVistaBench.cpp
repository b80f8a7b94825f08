// Times the log viewer on a full log: reading and parsing 1,024,000 bytes, and the whole opening of
// the window (read, models, first paint). With --screenshot FILE it instead renders the window on a
// short realistic log to a PNG.
//   bench_logvista [--runs N] [--screenshot FILE]
#include "standins/logvista/CLogTail.h"
#include "standins/logvista/CLogVistaWindow.h"
#include "tests/support/CTempDir.h"

#include <QApplication>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace
{

using CClock = std::chrono::steady_clock;

// One record as the service writes it, at nMillis milliseconds after 07/12/2026 08:00:00.000.
std::string Record(int nCode, const char* szText, long nMillis, const std::string& szMessage)
{
    const long nHour = 8 + nMillis / 3600000 % 16;
    char szHead[160];
    std::snprintf(szHead, sizeof(szHead), "%d,%04d,%s,07/12/2026,%02ld:%02ld:%02ld.%03ld,", nCode / 1000,
                  nCode, szText, nHour, nMillis / 60000 % 60, nMillis / 1000 % 60, nMillis % 1000);
    return szHead + szMessage + "\r\n";
}

// The records of one printed document's road through the service, or of one given up.
std::string Story(int nDocument, long& nMillis)
{
    const std::string szName = "Faktura-" + std::to_string(10000 + nDocument);
    const std::string szTxt = "/var/spool/veltrane/in/" + szName + ".txt";
    const std::string szPdf = "/var/spool/veltrane/pdf/" + szName + ".pdf";
    std::string szText;
    szText += Record(3009, "Document monitoring service error", nMillis += 40,
                     "Skip reading new TXT file " + szTxt);
    if (nDocument % 7 != 3)
    {
        szText += Record(3009, "Document monitoring service error", nMillis += 5000,
                         "File '" + szPdf + "' not exists. Attempt 2");
        return szText;
    }
    for (int nAttempt = 2; nAttempt <= 5; ++nAttempt)
        szText += Record(3009, "Document monitoring service error", nMillis += 5000,
                         "File '" + szPdf + "' not exists. Attempt " + std::to_string(nAttempt));
    szText += Record(36, "Document monitoring service error", nMillis += 5000,
                     "Failed to process incoming file. Number of attempts exceeded.");
    if (nDocument % 2 == 0)
        szText += Record(4004, "Process info", nMillis += 120,
                         "The e-mail was successfully delivered to recipient(s): anna.lind@example.com. ");
    else
        szText +=
            Record(36, "Document monitoring service error", nMillis += 30000,
                   "E-mail delivery failed to recipient(s): anna.lind@example.com. Unable to connect to "
                   "mail.example.com, port 25: Connection timed out");
    return szText;
}

std::string RealisticLog(size_t nLimit)
{
    long nMillis = 0;
    std::string szLog = Record(4003, "Logger info", nMillis,
                               "Previous log messages backed up to '/opt/tarvik/bin/tarvik.old.log'. New log "
                               "file started.");
    szLog += Record(4004, "Process info", nMillis += 3,
                    "Documents monitoring service started by root from /opt/tarvik/bin/");
    for (int nDocument = 0;; ++nDocument)
    {
        std::string szNext = Story(nDocument, nMillis);
        if (nDocument == 5)
            szNext += Record(1016, "Directory monitor error", nMillis += 10,
                             "Failed to monitor directory '/var/spool/veltrane/in/old/'. No such file or "
                             "directory");
        if (szLog.size() + szNext.size() > nLimit)
            break;
        szLog += szNext;
    }
    return szLog;
}

// Fills the file to exactly nSize bytes with records, the last one padded.
void WriteFullLog(const std::string& szPath, size_t nSize)
{
    std::string szLog = RealisticLog(nSize - 200);
    std::string szLast = Record(4004, "Process info", 86399999, "Documents monitoring service finished ");
    szLast.insert(szLast.size() - 2, std::string(nSize - szLog.size() - szLast.size(), '.'));
    szLog += szLast;
    std::ofstream(szPath, std::ios::binary) << szLog;
}

double Millis(CClock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* szWhat, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("%-44s median %7.1f ms   min %7.1f ms   max %7.1f ms\n", szWhat, times[times.size() / 2],
                times.front(), times.back());
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int nRuns = 7;
    const char* szScreenshot = nullptr;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--runs") == 0)
            nRuns = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--screenshot") == 0)
            szScreenshot = argv[i + 1];
    }

    const CTempDir dir("bench-logvista");
    const std::string szPath = dir.Native("tarvik.log");
    if (szScreenshot)
    {
        std::ofstream(szPath, std::ios::binary) << RealisticLog(6000) << "half a line left by a crash";
        CLogVistaWindow window(szPath);
        window.resize(1180, 560);
        window.show();
        QApplication::processEvents();
        const bool bSaved = window.grab().save(QString::fromLocal8Bit(szScreenshot), "PNG");
        std::printf("%s %s\n", bSaved ? "saved" : "could not save", szScreenshot);
        return bSaved ? 0 : 1;
    }

    WriteFullLog(szPath, 1024000);
    std::vector<double> read, open;
    size_t nRecords = 0;
    for (int nRun = 0; nRun < nRuns; ++nRun)
    {
        CClock::time_point start = CClock::now();
        CLogTail tail(szPath);
        std::vector<SLogRecord> records;
        bool bRestarted = false;
        tail.Read(records, bRestarted);
        read.push_back(Millis(CClock::now() - start));
        nRecords = records.size();

        start = CClock::now();
        {
            CLogVistaWindow window(szPath);
            window.show();
            QApplication::processEvents();
            open.push_back(Millis(CClock::now() - start));
        }
        QApplication::processEvents();
    }
    std::printf("log: 1024000 bytes, %zu records, %d runs\n", nRecords, nRuns);
    Report("read and parse (CLogTail)", read);
    Report("open window: read, models, show, paint", open);
    return 0;
}
