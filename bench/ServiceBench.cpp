// The headless service's two figures, on a copy of bin/ in a temporary folder (TARVIK_HEADLESS=1):
//  - idle resident memory: VmRSS of the process, sampled for some seconds once the engine runs its
//    passes on an empty incoming folder (the largest sample, per run);
//  - stop request soon after start: SIGTERM sent a fixed time after the program was spawned; a clean
//    end is exit status 0 (a program that has not yet set up its handler dies of the signal, 143).
//
//     bench_service [TRIES] [DELAY_MS] [BIN_DIR]     (default 20 tries, 20 ms, the build's bin/)
//
// Every process it starts is ended by its pid.
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace
{

// The exit status as a shell shows it: the code, or 128 + the signal.
int ShellStatus(int nResult)
{
    return nResult <= -1000 ? 128 + (-nResult - 1000) : nResult;
}

} // namespace

int main(int argc, char** argv)
{
    const int nTries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int nDelayMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 20;
    const fs::path binDir = argc > 3 ? fs::path(argv[3]) : fs::path(TARVIK_BIN_DIR);
    CIsolatedEnvironment environment;
    const CTempDir temp("bench-service");
    const fs::path root = temp.Path();
    fs::copy(binDir, root / "bin", fs::copy_options::recursive);
    for (const char* sz : {"tarvik.ini", "tarvik.log", "tarvik.old.log"})
        fs::remove(root / "bin" / sz);
    for (const char* sz : {"in", "out", "objects", "registry"})
        fs::create_directories(root / sz);
    std::ofstream(root / "bin" / "tarvik.ini", std::ios::binary)
        << tests::Utf16Ini("[General]\r\nAttemptTimeout=1\r\nTxtInDir=" + (root / "in").string() +
                           "\r\nTxtOutDir=" + (root / "out").string() + "\r\n");
    environment.Set("TARVIK_HEADLESS", "1");
    environment.Set("TARVIK_OBJECTS_DIR", (root / "objects").c_str());
    environment.Set("TARVIK_REGISTRY_DIR", (root / "registry").c_str());
    const std::string szTarvik = (root / "bin" / "tarvik").string();
    CTestProcess::SOptions options;
    options.m_outputFile = root / "output.txt";
    options.m_bAppendOutput = true;

    // Idle memory: three runs of 4 s after the first passes.
    std::vector<double> vRss;
    for (int nRun = 0; nRun < 3; ++nRun)
    {
        CTestProcess tarvik;
        if (!tarvik.Start({szTarvik}, options))
        {
            std::fprintf(stderr, "cannot start %s: %s\n", szTarvik.c_str(), tarvik.Error().c_str());
            return 1;
        }
        std::this_thread::sleep_for(3s);
        long nMax = 0;
        for (int i = 0; i < 40; ++i, std::this_thread::sleep_for(100ms))
            nMax = std::max(nMax, tarvik.MemoryKiB("VmRSS"));
        vRss.push_back(nMax / 1024.0);
        tarvik.Signal(SIGTERM);
        int nResult = 0;
        if (!tarvik.WaitFor(10000, nResult))
            tarvik.Kill();
        std::printf("run %d: idle RSS %.1f MiB\n", nRun + 1, vRss.back());
    }
    std::sort(vRss.begin(), vRss.end());
    std::printf("idle resident memory (headless): median %.1f MiB, max %.1f MiB (goal 10 MB or less)\n",
                vRss[vRss.size() / 2], vRss.back());

    // How long after the spawn the quit handler is in place (SIGTERM caught, read from /proc).
    std::vector<double> vHandlerMs;
    for (int nTry = 0; nTry < nTries; ++nTry)
    {
        CTestProcess tarvik;
        const auto t0 = Clock::now();
        if (!tarvik.Start({szTarvik}, options))
            return 1;
        const std::string szStatus = "/proc/" + std::to_string(tarvik.Pid()) + "/status";
        for (auto tEnd = t0 + 2s; Clock::now() < tEnd;)
        {
            const std::string szText = tests::ReadFile(szStatus);
            const size_t nAt = szText.find("SigCgt:\t");
            if (nAt != std::string::npos &&
                (std::stoull(szText.substr(nAt + 8, 16), nullptr, 16) & (1ull << (SIGTERM - 1))) != 0)
            {
                vHandlerMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                break;
            }
        }
        tarvik.Signal(SIGTERM);
        int nResult = 0;
        if (!tarvik.WaitFor(10000, nResult))
            tarvik.Kill();
    }
    std::sort(vHandlerMs.begin(), vHandlerMs.end());
    if (!vHandlerMs.empty())
        std::printf("spawn to quit handler: median %.1f ms, max %.1f ms (%zu tries)\n",
                    vHandlerMs[vHandlerMs.size() / 2], vHandlerMs.back(), vHandlerMs.size());

    // Stop requests soon after the start.
    int nClean = 0;
    std::vector<int> vStatuses;
    for (int nTry = 0; nTry < nTries; ++nTry)
    {
        CTestProcess tarvik;
        const auto t0 = Clock::now();
        if (!tarvik.Start({szTarvik}, options))
            return 1;
        std::this_thread::sleep_until(t0 + std::chrono::milliseconds(nDelayMs));
        tarvik.Signal(SIGTERM);
        int nResult = -1;
        if (!tarvik.WaitFor(10000, nResult))
        {
            tarvik.Kill();
            tarvik.Wait();
        }
        const int nStatus = ShellStatus(nResult);
        vStatuses.push_back(nStatus);
        nClean += nStatus == 0 ? 1 : 0;
    }
    std::printf("SIGTERM %d ms after the start: %d of %d tries ended with status 0 (statuses:", nDelayMs,
                nClean, nTries);
    for (int nStatus : vStatuses)
        std::printf(" %d", nStatus);
    std::printf(")\n");
    return nClean == nTries ? 0 : 2;
}
