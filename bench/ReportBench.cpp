// Peak memory of the real tarvik program while it gives up one large control file: the control file
// (default 200 MB) names a document that never comes, Attempts is 1, and the report goes to a port
// where nothing listens (the message is built all the same). Measured until the control file is in
// the error directory; the figure is the peak resident size of the process (wait4's ru_maxrss).
//
// Run as root, by hand:
//   cmake --build build -j2 --target tarvik QuickPDFDLL0723 bench_report
//   build/bench/bench_report            # 200 MB
//   build/bench/bench_report 50         # 50 MB
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

std::string Utf16(const std::string& sz)
{
    std::string szOut = "\xFF\xFE";
    for (char ch : sz)
    {
        szOut.push_back(ch);
        szOut.push_back('\0');
    }
    return szOut;
}

} // namespace

int main(int argc, char** argv)
{
    const long nMegabytes = argc > 1 ? std::atol(argv[1]) : 200;
    const fs::path root = fs::temp_directory_path() / ("tarvik-report-bench-" + std::to_string(getpid()));
    fs::remove_all(root);
    for (const char* szDir : {"in", "out", "err", "obj", "reg"})
        fs::create_directories(root / szDir);
    fs::copy(TARVIK_BIN_DIR, root / "bin", fs::copy_options::recursive);
    for (const char* szLeftover : {"tarvik.ini", "tarvik.log", "tarvik.old.log"})
        fs::remove(root / "bin" / szLeftover);
    setenv("TARVIK_OBJECTS_DIR", (root / "obj").c_str(), 1);
    setenv("TARVIK_REGISTRY_DIR", (root / "reg").c_str(), 1);
    setenv("TARVIK_HEADLESS", "1", 1);
    std::ofstream(root / "bin" / "tarvik.ini", std::ios::binary)
        << Utf16("[General]\r\nAttemptTimeout=1\r\nTxtInDir=" + (root / "in").string() +
                 "\r\nTxtOutDir=" + (root / "out").string() + "\r\nPdfDefDir=" + root.string() +
                 "\r\nAttempts=1\r\nMoveErr=1\r\nTxtErrDir=" + (root / "err").string() +
                 "\r\n[E-mail]\r\nDefEmail=bench@example.org\r\nEmSmtpServer=127.0.0.1\r\nEmPort=9\r\n"
                 "EmSenderEmail=tarvik@example.org\r\nEmSenderName=Tarvik\r\nEmSubject=Bench\r\n");

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

    const std::string szExe = (root / "bin" / "tarvik").string();
    char* args[] = {const_cast<char*>(szExe.c_str()), nullptr};
    pid_t nPid = -1;
    if (posix_spawn(&nPid, args[0], nullptr, nullptr, args, environ) != 0)
    {
        std::fprintf(stderr, "bench_report: tarvik could not be started\n");
        return 1;
    }
    const auto tStart = std::chrono::steady_clock::now();
    const fs::path given = root / "err" / "big.txt";
    while (!fs::exists(given) && std::chrono::steady_clock::now() - tStart < 120s)
        std::this_thread::sleep_for(50ms);
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    kill(nPid, SIGTERM);
    int nStatus = 0;
    struct rusage usage
    {
    };
    wait4(nPid, &nStatus, 0, &usage);

    const bool bGiven = fs::exists(given);
    std::printf("given up: %s after %.1f s\n", bGiven ? "yes" : "no", dSeconds);
    std::printf("peak resident memory of tarvik: %.1f MB\n", usage.ru_maxrss / 1024.0);
    fs::remove_all(root);
    return bGiven ? 0 : 1;
}
