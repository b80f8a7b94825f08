// Small helpers shared by the tests and benchmarks that drive real files and programs: reading a file
// whole, the UTF-16LE form of an INI text, waiting for a condition, running a program to its end, and
// a one-page PDF made by Ghostscript. Header-only.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tests
{

// The file's bytes; empty when it cannot be read.
inline std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Plain ASCII text as UTF-16LE with its byte-order mark, as tarvik.ini is stored.
inline std::string Utf16(const std::string& szAscii)
{
    std::string szOut = "\xFF\xFE";
    for (char ch : szAscii)
    {
        szOut += ch;
        szOut += '\0';
    }
    return szOut;
}

// Polls ready() every 20 ms until it holds (true) or the time-out has passed (false).
inline bool WaitUntil(const std::function<bool()>& ready,
                      std::chrono::steady_clock::duration timeout = std::chrono::seconds(60))
{
    const auto tEnd = std::chrono::steady_clock::now() + timeout;
    while (!ready())
    {
        if (std::chrono::steady_clock::now() > tEnd)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Runs the program (looked up on PATH) to its end: its exit code, -1000 - the signal that ended it,
// or -1 when it could not be started.
inline int RunProgram(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& sz : args)
        argv.push_back(sz.data());
    argv.push_back(nullptr);
    pid_t nPid = 0;
    if (posix_spawnp(&nPid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int nStatus = 0;
    if (waitpid(nPid, &nStatus, 0) != nPid)
        return -1;
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1000 - WTERMSIG(nStatus);
}

// Writes a one-page PDF showing szText with Ghostscript; true when gs succeeded.
inline bool MakeOnePagePdf(const std::filesystem::path& path, const std::string& szText = "Page")
{
    return RunProgram({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite", "-o", path.string(), "-c",
                       "/Helvetica findfont 20 scalefont setfont 72 700 moveto (" + szText +
                           ") show showpage"}) == 0;
}

} // namespace tests
