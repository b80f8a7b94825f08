// Peak memory of the real tarvik program while it gives up one large control file: the control file
// (default 200 MB) names a document that never comes, Attempts is 1, and the report goes to a port
// where nothing listens (the message is built all the same). Measured until the control file is in
// the error directory; the figure is the peak resident size of the process (VmHWM in /proc/<pid>/status).
//
// Run as root, by hand:
//   cmake --build build -j2 --target tarvik QuickPDFDLL0723 bench_report
//   build/bench/bench_report            # 200 MB
//   build/bench/bench_report 50         # 50 MB
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int main(int argc, char** argv)
{
    const long nMegabytes = argc > 1 ? std::atol(argv[1]) : 200;
    const CIsolatedEnvironment environment(CIsolatedEnvironment::kHeadless);
    const CTempDir temp("report-bench");
    const fs::path root = temp.Path();
    for (const char* szDir : {"in", "out", "err"})
        fs::create_directories(root / szDir);
    fs::copy(TARVIK_BIN_DIR, root / "bin", fs::copy_options::recursive);
    for (const char* szLeftover : {"tarvik.ini", "tarvik.log", "tarvik.old.log"})
        fs::remove(root / "bin" / szLeftover);
    tests::WriteFile(
        root / "bin" / "tarvik.ini",
        tests::Utf16Ini("[General]\r\nAttemptTimeout=1\r\nTxtInDir=" + (root / "in").string() +
                        "\r\nTxtOutDir=" + (root / "out").string() + "\r\nPdfDefDir=" + root.string() +
                        "\r\nAttempts=1\r\nMoveErr=1\r\nTxtErrDir=" + (root / "err").string() +
                        "\r\n[E-mail]\r\nDefEmail=bench@example.org\r\nEmSmtpServer=127.0.0.1\r\n"
                        "EmPort=9\r\nEmSenderEmail=tarvik@example.org\r\nEmSenderName=Tarvik\r\n"
                        "EmSubject=Bench\r\n"));

    const fs::path control = root / "in" / "big.txt";
    {
        std::ofstream out(control, std::ios::binary);
        out << "File: never.pdf\nRespondEmail: clerk@example.com\n";
        const std::string szLine(99, 'x');
        for (long n = 0; n < nMegabytes * 10000; ++n)
            out << szLine << '\n';
    }
    fs::last_write_time(control, fs::file_time_type::clock::now() - 60s);
    std::printf("control file: %ju bytes\n", static_cast<uintmax_t>(fs::file_size(control)));

    CTestProcess tarvik;
    if (!tarvik.Start({(root / "bin" / "tarvik").string()}))
    {
        std::fprintf(stderr, "bench_report: %s\n", tarvik.Error().c_str());
        return 1;
    }
    const auto tStart = std::chrono::steady_clock::now();
    const fs::path given = root / "err" / "big.txt";
    const bool bGiven = tests::WaitUntil([&]() { return fs::exists(given); }, 120s);
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    const long nPeakKb = tarvik.MemoryKiB("VmHWM");
    tarvik.Signal(SIGTERM);
    tarvik.Wait();

    std::printf("given up: %s after %.1f s\n", bGiven ? "yes" : "no", dSeconds);
    std::printf("peak resident memory of tarvik: %.1f MB\n", nPeakKb / 1024.0);
    return bGiven ? 0 : 1;
}
