// The main job at scale: N control files (default 10,000; several sizes may be given), each older than five
// seconds and naming its own 1-page PDF, in the incoming directory of the real tarvik program with
// AttemptTimeout 0; measured until all are in the outgoing directory. In the same run the same work is timed
// for a shell baseline (pdfinfo on each document, then mv) and for a floor (a C++ loop that reads the control
// file, reads the document's last kilobyte and renames the control file). Then the program runs idle
// (AttemptTimeout 2, empty incoming directory) under strace, and every wake-up of its threads is counted
// against the passes of the monitor thread.
//
// Run as root (the service warns other users and ends without anyone to answer), by hand:
//   cmake --build build -j2 --target tarvik QuickPDFDLL0723 bench_engine
//   build/bench/bench_engine                       # 10,000 files, 20 s idle
//   build/bench/bench_engine 1000 --idle 0         # fewer files, no idle count
//   build/bench/bench_engine 10000 --baseline 1000 # the baseline on a sample of 1,000 files
//   build/bench/bench_engine 10000 100000 --baseline 1000 --idle 0   # the backlog table
// The idle count attaches, while the service waits, with
//   strace -f -tt -e trace=ppoll,poll,epoll_wait,read,futex,clock_nanosleep,nanosleep -o FILE -p PID
// --keep leaves the temporary directory (with the strace output) behind. --strace FILE runs the
// backlog under "strace -c -f -o FILE.<size>" and reports the system calls per released control file
// (the time then is not the program's own).
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using CClock = std::chrono::steady_clock;

namespace
{

[[noreturn]] void Fail(const std::string& szWhat)
{
    std::fprintf(stderr, "bench_engine: %s\n", szWhat.c_str());
    std::exit(1);
}

double SecondsSince(CClock::time_point tStart)
{
    return std::chrono::duration<double>(CClock::now() - tStart).count();
}

using tests::ReadFile;
using tests::Utf16Ini;
using tests::WriteFile;

// Runs the program (looked up on PATH) to its end with its output dropped; its exit code.
int Run(const std::vector<std::string>& args)
{
    CTestProcess::SOptions options;
    options.m_outputFile = "/dev/null";
    return CTestProcess::Run(args, options);
}

size_t CountEntries(const fs::path& dir)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
        ++n;
    return n;
}

// Writes nCount control files c-000000.txt ... into szDir, each naming docs/d-NNNNNN.pdf, with their
// last-write time a minute back so that no attempt is skipped as too young.
void WriteControlFiles(const fs::path& dir, const fs::path& docs, int nCount)
{
    fs::create_directories(dir);
    const auto tOld = fs::file_time_type::clock::now() - 60s;
    char szName[32];
    for (int n = 0; n < nCount; ++n)
    {
        std::snprintf(szName, sizeof(szName), "%06d", n);
        const fs::path control = dir / (std::string("c-") + szName + ".txt");
        std::ofstream(control, std::ios::binary)
            << "File: " << (docs / (std::string("d-") + szName + ".pdf")).string()
            << "\r\nRespondEmail: bench@example.org\r\n";
        fs::last_write_time(control, tOld);
    }
}

// One 1-page PDF made by Ghostscript, copied nCount times as d-NNNNNN.pdf (those there already are kept).
void MakeDocuments(const fs::path& docs, int nCount)
{
    fs::create_directories(docs);
    const fs::path source = docs.parent_path() / "source.pdf";
    if (Run({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite", "-o", source.string(), "-c",
             "/Helvetica findfont 20 scalefont setfont 72 700 moveto (Invoice) show showpage"}) != 0)
        Fail("Ghostscript could not make the PDF");
    char szName[32];
    for (int n = 0; n < nCount; ++n)
    {
        std::snprintf(szName, sizeof(szName), "d-%06d.pdf", n);
        fs::copy_file(source, docs / szName, fs::copy_options::skip_existing);
    }
}

struct SLayout
{
    fs::path m_root, m_bin, m_docs, m_in, m_out, m_err;
};

void WriteIni(const SLayout& layout, int nAttemptTimeout)
{
    // Nothing should be given up; port 9 on loopback refuses at once should a report be sent.
    const std::string sz = "[General]\r\nAttemptTimeout=" + std::to_string(nAttemptTimeout) +
                           "\r\nTxtInDir=" + layout.m_in.string() + "\r\nTxtOutDir=" + layout.m_out.string() +
                           "\r\nPdfDefDir=" + layout.m_docs.string() +
                           "\r\nAttempts=5\r\nMoveErr=1\r\nTxtErrDir=" + layout.m_err.string() +
                           "\r\n[E-mail]\r\nDefEmail=bench@example.org\r\nEmSmtpServer=127.0.0.1\r\n"
                           "EmSenderEmail=tarvik@example.org\r\nEmSenderName=Tarvik\r\nEmSubject=Bench\r\n"
                           "EmPort=9\r\n";
    WriteFile(layout.m_bin / "tarvik.ini", Utf16Ini(sz));
}

// With --strace, the backlog runs of the program go under "strace -c -f" into this file (one per
// size, the size appended): the system calls it made, per call, for the whole run.
std::string g_szStraceFile;

// Starts the program in bin/ with its output appended to tarvik.out; under strace -c -f when
// szStraceOutput is not empty.
void StartService(const SLayout& layout, CTestProcess& service, const std::string& szStraceOutput = "")
{
    CTestProcess::SOptions options;
    options.m_outputFile = layout.m_root / "tarvik.out";
    options.m_bAppendOutput = true;
    std::vector<std::string> args{(layout.m_bin / "tarvik").string()};
    if (!szStraceOutput.empty())
        args.insert(args.begin(), {"strace", "-c", "-f", "-o", szStraceOutput});
    if (!service.Start(args, options))
        Fail("tarvik could not be started: " + service.Error());
}

// Ends the program; under strace the program itself (strace's child) is asked to end, and strace
// then writes its summary.
void EndService(CTestProcess& service, bool bTraced = false)
{
    if (bTraced)
    {
        const std::string szChildren = ReadFile("/proc/" + std::to_string(service.Pid()) + "/task/" +
                                                std::to_string(service.Pid()) + "/children");
        const int nChild = std::atoi(szChildren.c_str());
        if (nChild > 0)
            kill(nChild, SIGTERM);
    }
    else
        service.Signal(SIGTERM);
    const int nExit = service.Wait();
    if (nExit != 0)
        std::fprintf(stderr, "bench_engine: tarvik ended with %d\n", nExit);
}

// Blocks until nCount files have been moved or written into dir (watched through inotify, which
// must have been set up on nInotify before the files could arrive), or until nothing arrived for
// the stall time; the number of files found there.
size_t WaitForArrivals(int nInotify, const fs::path& dir, size_t nCount, std::chrono::seconds stall)
{
    size_t nArrived = 0;
    alignas(inotify_event) char buffer[64 * 1024];
    while (nArrived < nCount)
    {
        pollfd fd{nInotify, POLLIN, 0};
        const int nReady = poll(&fd, 1, static_cast<int>(std::chrono::milliseconds(stall).count()));
        if (nReady < 0 && errno == EINTR)
            continue;
        if (nReady <= 0)
            break;
        const ssize_t nRead = read(nInotify, buffer, sizeof(buffer));
        if (nRead <= 0)
            break;
        for (ssize_t nAt = 0; nAt < nRead;)
        {
            const auto* pEvent = reinterpret_cast<const inotify_event*>(buffer + nAt);
            if (pEvent->mask & IN_Q_OVERFLOW)
                nArrived = CountEntries(dir); // events were lost: count what is there
            else if (pEvent->mask & (IN_MOVED_TO | IN_CLOSE_WRITE))
                ++nArrived;
            nAt += static_cast<ssize_t>(sizeof(inotify_event) + pEvent->len);
        }
    }
    return CountEntries(dir);
}

struct SResult
{
    double m_dSeconds = 0.0;
    size_t m_nFiles = 0;
    double Rate() const { return m_dSeconds > 0.0 ? static_cast<double>(m_nFiles) / m_dSeconds : 0.0; }
};

// The total of an "strace -c" summary, per released file.
void ReportCallCount(const std::string& szSummary, size_t nFiles)
{
    std::ifstream file(szSummary);
    std::string szLine;
    long long nTotal = -1;
    while (std::getline(file, szLine))
    {
        std::istringstream line(szLine);
        std::vector<std::string> words;
        for (std::string szWord; line >> szWord;)
            words.push_back(szWord);
        if (!words.empty() && words.back() == "total" && words.size() >= 4)
            nTotal = std::atoll(words[3].c_str());
    }
    if (nTotal < 0 || nFiles == 0)
    {
        std::fprintf(stderr, "bench_engine: no strace summary in %s\n", szSummary.c_str());
        return;
    }
    std::printf("system calls of tarvik (strace -c -f, whole run): %lld, %.2f per released control file "
                "(summary: %s)\n",
                nTotal, static_cast<double>(nTotal) / static_cast<double>(nFiles), szSummary.c_str());
}

SResult RunEngine(const SLayout& layout, int nCount)
{
    WriteControlFiles(layout.m_in, layout.m_docs, nCount);
    WriteIni(layout, 0);
    const int nInotify = inotify_init1(IN_CLOEXEC);
    if (nInotify < 0 || inotify_add_watch(nInotify, layout.m_out.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE) < 0)
        Fail("cannot watch the outgoing directory");
    const auto tStart = CClock::now();
    CTestProcess service;
    const std::string szStrace = g_szStraceFile.empty() ? "" : g_szStraceFile + "." + std::to_string(nCount);
    StartService(layout, service, szStrace);
    SResult result;
    result.m_nFiles = WaitForArrivals(nInotify, layout.m_out, static_cast<size_t>(nCount), 120s);
    result.m_dSeconds = SecondsSince(tStart);
    close(nInotify);
    EndService(service, !szStrace.empty());
    if (!szStrace.empty())
        ReportCallCount(szStrace, result.m_nFiles);
    if (result.m_nFiles != static_cast<size_t>(nCount))
        std::fprintf(stderr, "bench_engine: tarvik released %zu of %d (%zu in the error directory)\n",
                     result.m_nFiles, nCount, CountEntries(layout.m_err));
    return result;
}

SResult RunBaseline(const fs::path& root, const fs::path& docs, int nCount)
{
    const fs::path in = root / "baseline-in", out = root / "baseline-out";
    WriteControlFiles(in, docs, nCount);
    fs::create_directories(out);
    // The control file is read by the shell itself; each document costs one pdfinfo and one mv.
    const fs::path script = root / "baseline.sh";
    std::ofstream(script) << "set -e\ncd \"$1\"\n"
                             "for f in *.txt; do\n"
                             "  doc=\n"
                             "  while IFS= read -r line || [ -n \"$line\" ]; do\n"
                             "    line=${line%$'\\r'}\n"
                             "    case $line in \"File: \"*) doc=${line#File: }; break;; esac\n"
                             "  done < \"$f\"\n"
                             "  pdfinfo \"$doc\" > /dev/null\n"
                             "  mv \"$f\" \"$2/\"\n"
                             "done\n";
    const auto tStart = CClock::now();
    const int nExit = Run({"bash", script.string(), in.string(), out.string()});
    SResult result;
    result.m_dSeconds = SecondsSince(tStart);
    result.m_nFiles = CountEntries(out);
    if (nExit != 0)
        std::fprintf(stderr, "bench_engine: the baseline ended with %d\n", nExit);
    return result;
}

// Reads the document's last kilobyte; false when it cannot be opened or read.
bool ReadTail(const std::string& szPath)
{
    const int nFd = open(szPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (nFd < 0)
        return false;
    struct stat st
    {
    };
    char buffer[1024];
    bool bRead = fstat(nFd, &st) == 0 && st.st_size > 0;
    if (bRead)
    {
        const off_t nFrom = std::max<off_t>(st.st_size - static_cast<off_t>(sizeof(buffer)), 0);
        bRead = pread(nFd, buffer, sizeof(buffer), nFrom) > 0;
    }
    close(nFd);
    return bRead;
}

SResult RunFloor(const fs::path& root, const fs::path& docs, int nCount)
{
    const fs::path in = root / "floor-in", out = root / "floor-out";
    WriteControlFiles(in, docs, nCount);
    fs::create_directories(out);
    const auto tStart = CClock::now();
    SResult result;
    for (const auto& entry : fs::directory_iterator(in))
    {
        const std::string szText = ReadFile(entry.path());
        const size_t nAt = szText.find("File: ");
        if (nAt == std::string::npos)
            continue;
        const size_t nEnd = szText.find_first_of("\r\n", nAt);
        if (!ReadTail(szText.substr(nAt + 6, nEnd - nAt - 6)))
            continue;
        if (rename(entry.path().c_str(), (out / entry.path().filename()).c_str()) == 0)
            ++result.m_nFiles;
    }
    result.m_dSeconds = SecondsSince(tStart);
    return result;
}

// One completed system call of a strace line.
struct SCall
{
    int m_nTid = 0;
    double m_dTime = 0.0;   // seconds since midnight: when the line was written
    double m_dReturn = 0.0; // when the call returned
    std::string m_szName, m_szArgs, m_szResult;
};

// Whether the call blocks: 1 waits (with a time-out or without), 0 only looks (a zero time-out),
// -1 is no wait at all (futex wakes, reads).
int WaitKind(const SCall& call)
{
    const std::string& sz = call.m_szArgs;
    auto lastArgument = [&]()
    {
        const size_t nComma = sz.rfind(", ");
        return nComma == std::string::npos ? std::string() : sz.substr(nComma + 2);
    };
    if (call.m_szName == "poll" || call.m_szName == "epoll_wait")
        return lastArgument() == "0" ? 0 : 1;
    if (call.m_szName == "ppoll")
        return sz.find("{tv_sec=0, tv_nsec=0}") != std::string::npos ? 0 : 1;
    if (call.m_szName == "futex")
        return sz.find("FUTEX_WAIT") != std::string::npos ? 1 : -1;
    if (call.m_szName == "nanosleep" || call.m_szName == "clock_nanosleep" ||
        call.m_szName == "restart_syscall")
        return 1;
    return -1;
}

// The completed calls of an strace -f -tt output; a call split into "<unfinished ...>" and
// "<... resumed>" keeps the arguments of its first half. A call written on one line carries the time
// it was entered, so its return is taken as the time of the thread's next line.
std::vector<SCall> ParseTrace(const fs::path& path)
{
    std::vector<SCall> calls;
    std::map<int, SCall> open;
    std::map<int, size_t> awaitingReturn; // thread -> index in calls
    std::ifstream file(path);
    std::string szLine;
    while (std::getline(file, szLine))
    {
        std::istringstream line(szLine);
        SCall call;
        std::string szTime;
        if (!(line >> call.m_nTid >> szTime) || szTime.size() < 8 || szTime[2] != ':')
            continue;
        call.m_dTime = std::stoi(szTime.substr(0, 2)) * 3600.0 + std::stoi(szTime.substr(3, 2)) * 60.0 +
                       std::stod(szTime.substr(6));
        call.m_dReturn = call.m_dTime;
        if (auto it = awaitingReturn.find(call.m_nTid); it != awaitingReturn.end())
        {
            calls[it->second].m_dReturn = call.m_dTime;
            awaitingReturn.erase(it);
        }
        std::string szRest;
        std::getline(line >> std::ws, szRest);
        if (szRest.rfind("<... ", 0) == 0)
        {
            const size_t nEnd = szRest.find(" resumed>");
            if (nEnd == std::string::npos)
                continue;
            call.m_szName = szRest.substr(5, nEnd - 5);
            auto it = open.find(call.m_nTid);
            if (it != open.end() && it->second.m_szName == call.m_szName)
                call.m_szArgs = it->second.m_szArgs;
            open.erase(call.m_nTid);
        }
        else if (szRest.rfind("restart_syscall(", 0) == 0)
            call.m_szName = "restart_syscall";
        else
        {
            const size_t nParen = szRest.find('(');
            if (nParen == std::string::npos || szRest[0] == '-' || szRest[0] == '+')
                continue; // signals and exits
            call.m_szName = szRest.substr(0, nParen);
            const size_t nArgsEnd = szRest.find(") = ");
            const size_t nUnfinished = szRest.find(" <unfinished ...>");
            if (nUnfinished != std::string::npos)
            {
                call.m_szArgs = szRest.substr(nParen + 1, nUnfinished - nParen - 1);
                open[call.m_nTid] = call;
                continue;
            }
            if (nArgsEnd != std::string::npos)
                call.m_szArgs = szRest.substr(nParen + 1, nArgsEnd - nParen - 1);
        }
        const size_t nResult = szRest.rfind(" = ");
        if (nResult == std::string::npos)
            continue;
        call.m_szResult = szRest.substr(nResult + 3);
        if (szRest.rfind("<... ", 0) != 0)
            awaitingReturn[call.m_nTid] = calls.size();
        calls.push_back(std::move(call));
    }
    return calls;
}

// The arguments with the digits of every tv_nsec replaced by "*": the remaining nanoseconds of a
// time-out differ on every pass, the kind of wait does not.
std::string WithoutNanoseconds(const std::string& szArgs)
{
    std::string sz;
    size_t nFrom = 0;
    for (size_t nAt = szArgs.find("tv_nsec="); nAt != std::string::npos; nAt = szArgs.find("tv_nsec=", nFrom))
    {
        sz.append(szArgs, nFrom, nAt + 8 - nFrom);
        sz += '*';
        nFrom = std::min(szArgs.find_first_not_of("0123456789", nAt + 8), szArgs.size());
    }
    sz.append(szArgs, nFrom, std::string::npos);
    return sz;
}

// Counts the wake-ups of every thread in the trace: a wake-up is the return of a blocking call. A
// pass is a return of the monitor thread's wait (the thread whose timed ppoll returns most often);
// a wake-up of another thread within 100 ms after one belongs to that pass (the heartbeat), any
// other is one between passes.
void ReportWakeUps(const fs::path& trace, double dSeconds, const std::vector<int>& threads)
{
    const std::vector<SCall> calls = ParseTrace(trace);
    std::map<int, std::map<std::string, int>> perThread;
    for (int nTid : threads)
        perThread[nTid]; // a thread that never returned from its wait is listed too
    std::map<int, std::set<std::string>> waitsPerThread;
    std::map<int, int> timedPolls;
    for (const SCall& call : calls)
    {
        const int nKind = WaitKind(call);
        std::string szKey = call.m_szName + (nKind == 1 ? " (waits)" : nKind == 0 ? " (looks)" : "");
        ++perThread[call.m_nTid][szKey];
        if (nKind == 1)
        {
            waitsPerThread[call.m_nTid].insert(call.m_szName + "(" + WithoutNanoseconds(call.m_szArgs) + ")");
            if (call.m_szName == "ppoll" && call.m_szArgs.find("NULL, ") != 0 &&
                call.m_szArgs.find("tv_sec") != std::string::npos)
                ++timedPolls[call.m_nTid];
        }
    }
    int nMonitor = 0;
    for (const auto& [nTid, nCount] : timedPolls)
    {
        if (nMonitor == 0 || nCount > timedPolls[nMonitor])
            nMonitor = nTid;
    }
    std::vector<double> passes;
    for (const SCall& call : calls)
    {
        if (call.m_nTid == nMonitor && WaitKind(call) == 1)
            passes.push_back(call.m_dReturn);
    }
    std::map<int, int> inPass, between;
    for (const SCall& call : calls)
    {
        if (call.m_nTid == nMonitor || WaitKind(call) != 1)
            continue;
        auto it = std::upper_bound(passes.begin(), passes.end(), call.m_dReturn);
        const bool bInPass = it != passes.begin() && call.m_dReturn - *std::prev(it) < 0.1;
        ++(bInPass ? inPass : between)[call.m_nTid];
    }

    std::printf("\nidle wake-ups over %.1f s (strace output: %s)\n", dSeconds, trace.c_str());
    std::printf("  monitor thread %d: %zu passes (%.2f per second)\n", nMonitor, passes.size(),
                static_cast<double>(passes.size()) / dSeconds);
    int nBetween = 0;
    for (const auto& [nTid, counts] : perThread)
    {
        std::printf("  thread %d%s:", nTid, nTid == nMonitor ? " (monitor)" : "");
        for (const auto& [szCall, nCount] : counts)
            std::printf(" %s %d,", szCall.c_str(), nCount);
        if (counts.empty())
            std::printf(" no call returned");
        else if (nTid != nMonitor)
            std::printf(" wake-ups within a pass %d, between passes %d", inPass[nTid], between[nTid]);
        std::printf("\n");
        for (const std::string& szWait : waitsPerThread[nTid])
            std::printf("      waits in %s\n", szWait.c_str());
        nBetween += between[nTid];
    }
    std::printf("  wake-ups between passes beyond the monitor's own: %d\n", nBetween);
}

void RunIdle(const SLayout& layout, int nSeconds)
{
    for (const auto& entry : fs::directory_iterator(layout.m_in))
        fs::remove_all(entry.path());
    fs::remove(layout.m_bin / "tarvik.log");
    WriteIni(layout, 2);
    CTestProcess service;
    StartService(layout, service);
    if (!tests::WaitUntil(
            [&] {
                return ReadFile(layout.m_bin / "tarvik.log").find("monitoring service started") !=
                       std::string::npos;
            },
            30s))
        Fail("tarvik did not start");
    std::this_thread::sleep_for(1s); // the first pass and the watch are under way
    std::vector<int> threads;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(service.Pid()) + "/task"))
        threads.push_back(std::atoi(entry.path().filename().c_str()));
    const fs::path trace = layout.m_root / "idle.strace";
    CTestProcess strace;
    CTestProcess::SOptions options;
    options.m_outputFile = layout.m_root / "strace.err";
    options.m_bAppendOutput = true;
    if (!strace.Start({"strace", "-f", "-tt", "-e",
                       "trace=ppoll,poll,epoll_wait,read,futex,clock_nanosleep,nanosleep", "-o",
                       trace.string(), "-p", std::to_string(service.Pid())},
                      options))
        Fail("strace could not be started: " + strace.Error());
    std::this_thread::sleep_for(std::chrono::seconds(nSeconds));
    strace.Signal(SIGINT); // detaches from every thread
    strace.Wait();
    EndService(service);
    ReportWakeUps(trace, nSeconds, threads);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    int nBaseline = -1, nIdle = 20;
    bool bKeep = false;
    for (int n = 1; n < argc; ++n)
    {
        const std::string sz = argv[n];
        if (sz == "--baseline" && n + 1 < argc)
            nBaseline = std::atoi(argv[++n]);
        else if (sz == "--idle" && n + 1 < argc)
            nIdle = std::atoi(argv[++n]);
        else if (sz == "--keep")
            bKeep = true;
        else if (sz == "--strace" && n + 1 < argc)
            g_szStraceFile = fs::absolute(argv[++n]).string();
        else if (!sz.empty() && sz[0] != '-' && std::atoi(sz.c_str()) > 0)
            sizes.push_back(std::min(std::atoi(sz.c_str()), 999999)); // the names carry six digits
        else
        {
            std::fprintf(stderr, "usage: bench_engine [files...] [--baseline files] [--idle seconds] "
                                 "[--strace file] [--keep]\n");
            return 2;
        }
    }
    if (sizes.empty())
        sizes.push_back(10000);
    if (geteuid() != 0)
        Fail("run as root: for anyone else the service warns at start and ends");

    // Named objects and the registry in a directory of their own; the work in layout.m_root.
    CIsolatedEnvironment environment(CIsolatedEnvironment::kHeadless);
    SLayout layout;
    layout.m_root = fs::temp_directory_path() / ("tarvik-bench-" + std::to_string(getpid()));
    layout.m_bin = layout.m_root / "bin";
    layout.m_docs = layout.m_root / "docs";
    layout.m_in = layout.m_root / "in";
    layout.m_out = layout.m_root / "out";
    layout.m_err = layout.m_root / "err";
    fs::remove_all(layout.m_root);
    for (const fs::path& dir : {layout.m_out, layout.m_err})
        fs::create_directories(dir);
    fs::copy(TARVIK_BIN_DIR, layout.m_bin, fs::copy_options::recursive);
    fs::remove(layout.m_bin / "tarvik.ini");
    fs::remove(layout.m_bin / "tarvik.log");
    fs::remove(layout.m_bin / "tarvik.old.log");

    struct SRow
    {
        int m_nCount;
        SResult m_engine, m_floor;
    };
    std::vector<SRow> rows;
    for (const int nCount : sizes)
    {
        // Every size starts from empty directories and a fresh log.
        for (const char* szDir : {"in", "out", "err", "floor-in", "floor-out", "baseline-in", "baseline-out"})
            fs::remove_all(layout.m_root / szDir);
        fs::create_directories(layout.m_out);
        fs::create_directories(layout.m_err);
        for (const char* szLeftover : {"tarvik.log", "tarvik.old.log"})
            fs::remove(layout.m_bin / szLeftover);
        const int nSample = nBaseline <= 0 ? nCount : std::min(nBaseline, nCount);

        std::printf("\nmaking %d documents in %s\n", nCount, layout.m_docs.c_str());
        std::fflush(stdout);
        MakeDocuments(layout.m_docs, nCount);

        const SResult floor = RunFloor(layout.m_root, layout.m_docs, nCount);
        const SResult engine = RunEngine(layout, nCount);
        const SResult baseline = RunBaseline(layout.m_root, layout.m_docs, nSample);
        rows.push_back({nCount, engine, floor});

        std::printf("%-9s %7s %10s %12s\n", "", "files", "seconds", "files/s");
        for (const auto& [szName, result] :
             {std::pair{"tarvik", engine}, std::pair{"baseline", baseline}, std::pair{"floor", floor}})
            std::printf("%-9s %7zu %10.3f %12.1f\n", szName, result.m_nFiles, result.m_dSeconds,
                        result.Rate());
        const double dRateRatio = baseline.Rate() > 0 ? engine.Rate() / baseline.Rate() : 0.0;
        std::printf("tarvik rate / baseline rate: %.1f (target at least 10)\n", dRateRatio);
        const std::string szLog = "\n" + ReadFile(layout.m_bin / "tarvik.log");
        size_t nWarnings = 0;
        for (size_t nAt = szLog.find("\n3,"); nAt != std::string::npos; nAt = szLog.find("\n3,", nAt + 1))
            ++nWarnings;
        std::printf("warnings in tarvik's log: %zu\n", nWarnings);
        std::fflush(stdout);
    }

    // The backlog table: time per file against the floor, size by size.
    std::printf("\n%8s %12s %12s %8s\n", "files", "tarvik s", "floor s", "ratio");
    for (const SRow& row : rows)
    {
        const double dRatio = row.m_floor.Rate() > 0 && row.m_engine.Rate() > 0
                                  ? row.m_floor.Rate() / row.m_engine.Rate()
                                  : 0.0;
        std::printf("%8d %12.3f %12.3f %8.1f\n", row.m_nCount, row.m_engine.m_dSeconds,
                    row.m_floor.m_dSeconds, dRatio);
    }
    std::printf("(ratio: tarvik time / floor time per file; target at most 3 at 10,000 and 4 at 100,000)\n");

    if (nIdle > 0)
        RunIdle(layout, nIdle);
    if (bKeep)
        std::printf("\nkept %s\n", layout.m_root.c_str());
    else
        fs::remove_all(layout.m_root);
    return 0;
}
