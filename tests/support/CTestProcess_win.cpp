// Child processes of tests on Windows: CreateProcessW with the standard handles given as
// inheritable duplicates, an anonymous pipe polled with PeekNamedPipe, TerminateProcess in place of
// signals, WaitForSingleObject and GetExitCodeProcess.
#include "tests/support/CTestProcess.h"

#include "platform/Windows_win.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include <psapi.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

namespace
{

// Every start of this library makes its inheritable handles and creates the child under this
// lock, so that one child never inherits the pipe end that another test thread made for its own.
std::mutex s_startLock;

std::wstring Wide(const std::string& szUtf8)
{
    if (szUtf8.empty())
        return std::wstring();
    const int nLength =
        ::MultiByteToWideChar(CP_UTF8, 0, szUtf8.data(), static_cast<int>(szUtf8.size()), nullptr, 0);
    std::wstring szWide(static_cast<size_t>(nLength > 0 ? nLength : 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, szUtf8.data(), static_cast<int>(szUtf8.size()), szWide.data(), nLength);
    return szWide;
}

// One argument as the C runtime's command-line parser (CommandLineToArgvW) reads it back.
std::wstring QuoteArgument(const std::wstring& szArg)
{
    if (!szArg.empty() && szArg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return szArg;
    std::wstring szOut = L"\"";
    size_t nBackslashes = 0;
    for (wchar_t ch : szArg)
    {
        if (ch == L'\\')
        {
            ++nBackslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped; elsewhere they stand.
        szOut.append(ch == L'"' ? nBackslashes * 2 + 1 : nBackslashes, L'\\');
        nBackslashes = 0;
        szOut.push_back(ch);
    }
    szOut.append(nBackslashes * 2, L'\\');
    szOut.push_back(L'"');
    return szOut;
}

std::string LastErrorText(const std::string& szWhat)
{
    const DWORD nError = ::GetLastError();
    wchar_t* pText = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, nError, 0, reinterpret_cast<wchar_t*>(&pText), 0, nullptr);
    std::string szText = szWhat + ": error " + std::to_string(nError);
    if (pText)
    {
        std::wstring szWide = pText;
        ::LocalFree(pText);
        while (!szWide.empty() && (szWide.back() == L'\n' || szWide.back() == L'\r' || szWide.back() == L' '))
            szWide.pop_back();
        const int nLength = ::WideCharToMultiByte(CP_UTF8, 0, szWide.data(), static_cast<int>(szWide.size()),
                                                  nullptr, 0, nullptr, nullptr);
        std::string szNarrow(static_cast<size_t>(nLength > 0 ? nLength : 0), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, szWide.data(), static_cast<int>(szWide.size()), szNarrow.data(),
                              nLength, nullptr, nullptr);
        szText += " (" + szNarrow + ")";
    }
    return szText;
}

// Our environment block with the extra variables replacing those of the same name (names compare
// without regard to case, as Windows does).
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& extra)
{
    std::vector<std::pair<std::wstring, std::wstring>> vExtra;
    for (const auto& [szName, szValue] : extra)
        vExtra.emplace_back(Wide(szName), Wide(szValue));
    std::wstring szBlock;
    wchar_t* pStrings = ::GetEnvironmentStringsW();
    for (const wchar_t* p = pStrings; p && *p; p += std::wcslen(p) + 1)
    {
        const std::wstring szEntry = p;
        // Entries such as "=C:=C:\dir" start with '='; their name runs to the second one.
        const std::wstring szName = szEntry.substr(0, szEntry.find(L'=', 1));
        bool bReplaced = false;
        for (const auto& entry : vExtra)
            bReplaced = bReplaced || ::_wcsicmp(entry.first.c_str(), szName.c_str()) == 0;
        if (!bReplaced)
            szBlock += szEntry + L'\0';
    }
    if (pStrings)
        ::FreeEnvironmentStringsW(pStrings);
    for (const auto& [szName, szValue] : vExtra)
        szBlock += szName + L'=' + szValue + L'\0';
    szBlock += L'\0';
    return szBlock;
}

// An inheritable duplicate of one of our standard handles (nullptr when we have none).
HANDLE InheritableStandard(DWORD nWhich)
{
    const HANDLE hStandard = ::GetStdHandle(nWhich);
    HANDLE hCopy = nullptr;
    if (hStandard == nullptr || hStandard == INVALID_HANDLE_VALUE ||
        !::DuplicateHandle(::GetCurrentProcess(), hStandard, ::GetCurrentProcess(), &hCopy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS))
        return nullptr;
    return hCopy;
}

void CloseIfOpen(HANDLE& h)
{
    if (h != nullptr && h != INVALID_HANDLE_VALUE)
        ::CloseHandle(h);
    h = nullptr;
}

// The exit code that Signal ends a child with.
DWORD SignalExitCode(int nSignal)
{
    return 128u + static_cast<unsigned>(nSignal);
}

// True for a program that Wine would start as a Linux program: an absolute Unix path to a file that
// is not a Windows program (which starts with "MZ").
bool IsHostProgram(const std::string& szProgram)
{
    if (!RunningUnderWine() || szProgram.empty() || szProgram[0] != '/')
        return false;
    char magic[2] = {};
    std::ifstream file(std::filesystem::path(szProgram), std::ios::binary);
    // A program that is not there is left to CreateProcessW, which says so.
    return file.read(magic, 2) && !(magic[0] == 'M' && magic[1] == 'Z');
}

// A word for /bin/sh.
std::string ShellQuote(const std::string& szWord)
{
    std::string szOut = "'";
    for (char c : szWord)
        szOut += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return szOut + "'";
}

// Starts a Linux program under Wine without waiting for it (no handle comes back). False when Wine
// refused it.
bool StartDetached(const std::vector<std::string>& args)
{
    std::wstring szCommandLine;
    for (const std::string& szArg : args)
        szCommandLine += (szCommandLine.empty() ? L"" : L" ") + QuoteArgument(Wide(szArg));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, szCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        return false;
    if (info.hThread)
        ::CloseHandle(info.hThread);
    if (info.hProcess)
        ::CloseHandle(info.hProcess);
    return true;
}

} // namespace

bool CTestProcess::StartHostProgram(const std::vector<std::string>& args, const SOptions& options)
{
    m_pHostDir = std::make_unique<CTempDir>("child");
    const std::string szDir = HostPath(m_pHostDir->Path());
    std::string szCommand;
    if (!options.m_workingDir.empty())
        szCommand += "cd " + ShellQuote(HostPath(options.m_workingDir)) + " && ";
    szCommand += "exec env";
    for (const auto& [szName, szValue] : options.m_environment)
        szCommand += " " + ShellQuote(szName + "=" + szValue);
    for (const std::string& szArg : args)
        szCommand += " " + ShellQuote(szArg);
    const std::string szOut = ShellQuote(szDir + "/out");
    if (options.m_bPipeOutput)
        szCommand += " >" + szOut + (options.m_bPipeErrors ? " 2>&1" : "");
    if (!options.m_outputFile.empty() && !(options.m_bPipeOutput && options.m_bPipeErrors))
    {
        const std::string szFile =
            (options.m_bAppendOutput ? " >>" : " >") + ShellQuote(HostPath(options.m_outputFile));
        szCommand += options.m_bPipeOutput ? " 2" + szFile : szFile + " 2>&1";
    }
    else if (options.m_bQuietErrors && !options.m_bPipeErrors)
        szCommand += " 2>/dev/null";
    // The child in the background, its id and then its exit status written where this side looks.
    const std::string szDirQuoted = ShellQuote(szDir);
    const std::string szScript =
        "d=" + szDirQuoted + "; : >\"$d/out\"; (" + szCommand +
        ") </dev/null & c=$!; echo $c >\"$d/pid.tmp\"; mv \"$d/pid.tmp\" \"$d/pid\"; "
        "wait $c; echo $? >\"$d/exit.tmp\"; mv \"$d/exit.tmp\" \"$d/exit\"";
    if (!StartDetached({"/bin/sh", "-c", szScript}))
    {
        m_szError = LastErrorText("cannot start " + args[0]);
        m_pHostDir.reset();
        return false;
    }
    int nPid = 0;
    const bool bStarted = tests::WaitUntil(
        [&]
        {
            std::ifstream file(m_pHostDir->Path() / "pid");
            return static_cast<bool>(file >> nPid) && nPid > 0;
        },
        std::chrono::seconds(60));
    if (!bStarted)
    {
        m_szError = "cannot start " + args[0] + " under Wine";
        m_pHostDir.reset();
        return false;
    }
    m_nPid = nPid;
    m_nHostRead = 0;
    m_nSignalSent = 0;
    CloseOutput();
    m_szPending.clear();
    return true;
}

bool CTestProcess::Start(const std::vector<std::string>& args, const SOptions& options)
{
    m_szError.clear();
    if (Running() || args.empty())
    {
        m_szError = args.empty() ? "no program given" : "a child is still running";
        return false;
    }
    m_pHostDir.reset();
    if (IsHostProgram(args[0]))
        return StartHostProgram(args, options);
    std::wstring szCommandLine;
    for (size_t i = 0; i < args.size(); ++i)
    {
        if (i > 0)
            szCommandLine += L' ';
        szCommandLine += m_bShellCommand && i + 1 == args.size() ? L'"' + Wide(args[i]) + L'"'
                                                                 : QuoteArgument(Wide(args[i]));
    }
    std::wstring szEnvironment = EnvironmentBlock(options.m_environment);

    std::lock_guard<std::mutex> lock(s_startLock);
    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE hRead = nullptr;
    HANDLE hWrite = nullptr;
    if (options.m_bPipeOutput)
    {
        if (!::CreatePipe(&hRead, &hWrite, &inherit, 0))
        {
            m_szError = LastErrorText("CreatePipe");
            return false;
        }
        // Only the child's end is inherited.
        ::SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    }
    HANDLE hInput = InheritableStandard(STD_INPUT_HANDLE);
    HANDLE hOutput = nullptr;
    HANDLE hErrors = nullptr;
    HANDLE hFile = nullptr;
    HANDLE hNull = nullptr;
    if (!options.m_outputFile.empty() && !(options.m_bPipeOutput && options.m_bPipeErrors))
    {
        hFile = ::CreateFileW(options.m_outputFile.c_str(),
                              options.m_bAppendOutput ? FILE_APPEND_DATA | SYNCHRONIZE : GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                              options.m_bAppendOutput ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
        if (hFile == INVALID_HANDLE_VALUE)
        {
            m_szError = LastErrorText("cannot open " + options.m_outputFile.string());
            hFile = nullptr;
        }
    }
    else if (options.m_bQuietErrors && !options.m_bPipeErrors)
        hNull = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
    if (hNull == INVALID_HANDLE_VALUE)
        hNull = nullptr;

    if (options.m_bPipeOutput)
        hOutput = hWrite;
    else if (hFile)
        hOutput = hFile;
    else
        hOutput = InheritableStandard(STD_OUTPUT_HANDLE);
    if (options.m_bPipeOutput && options.m_bPipeErrors)
        hErrors = hWrite;
    else if (hFile)
        hErrors = hFile;
    else if (hNull)
        hErrors = hNull;
    else
        hErrors = InheritableStandard(STD_ERROR_HANDLE);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = hInput;
    startup.hStdOutput = hOutput;
    startup.hStdError = hErrors;
    PROCESS_INFORMATION info = {};
    const bool bStarted =
        m_szError.empty() &&
        ::CreateProcessW(nullptr, szCommandLine.data(), nullptr, nullptr, TRUE,
                         CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, szEnvironment.data(),
                         options.m_workingDir.empty() ? nullptr : options.m_workingDir.c_str(), &startup,
                         &info);
    if (!bStarted && m_szError.empty())
        m_szError = LastErrorText("cannot start " + args[0]);

    // The child holds its own copies now; ours of its ends must go, or the pipe never ends.
    if (hOutput != hWrite && hOutput != hFile)
        CloseIfOpen(hOutput);
    if (hErrors != hWrite && hErrors != hFile && hErrors != hNull)
        CloseIfOpen(hErrors);
    CloseIfOpen(hInput);
    CloseIfOpen(hWrite);
    CloseIfOpen(hFile);
    CloseIfOpen(hNull);
    if (!bStarted)
    {
        CloseIfOpen(hRead);
        return false;
    }
    ::CloseHandle(info.hThread);
    m_hProcess = info.hProcess;
    m_nPid = static_cast<int>(info.dwProcessId);
    m_nSignalSent = 0;
    CloseOutput();
    m_hOutputPipe = hRead;
    m_szPending.clear();
    return true;
}

bool CTestProcess::ReadSome(int nTimeoutMs)
{
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    if (m_pHostDir)
    {
        // A Linux child's output file grows until its exit status is there.
        for (;;)
        {
            const bool bEnded = std::filesystem::exists(m_pHostDir->Path() / "exit");
            std::ifstream file(m_pHostDir->Path() / "out", std::ios::binary);
            file.seekg(static_cast<std::streamoff>(m_nHostRead));
            std::string szNew((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            if (!szNew.empty())
            {
                m_nHostRead += szNew.size();
                m_szPending += szNew;
                return true;
            }
            if (bEnded || (nTimeoutMs >= 0 && std::chrono::steady_clock::now() >= tEnd))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    char buffer[65536];
    while (m_hOutputPipe != nullptr)
    {
        DWORD nAvailable = 0;
        if (nTimeoutMs >= 0 && ::PeekNamedPipe(m_hOutputPipe, nullptr, 0, nullptr, &nAvailable, nullptr) &&
            nAvailable == 0)
        {
            // An anonymous pipe cannot be waited on: look again shortly.
            if (std::chrono::steady_clock::now() >= tEnd)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        // Data is there, the pipe has ended (the read then fails at once), or no limit was set.
        DWORD nRead = 0;
        if (!::ReadFile(m_hOutputPipe, buffer, sizeof buffer, &nRead, nullptr) || nRead == 0)
            return false;
        m_szPending.append(buffer, nRead);
        return true;
    }
    return false;
}

void CTestProcess::CloseOutput()
{
    HANDLE hPipe = m_hOutputPipe;
    CloseIfOpen(hPipe);
    m_hOutputPipe = nullptr;
}

void CTestProcess::Signal(int nSignal)
{
    if (Running() && m_pHostDir)
    {
        if (StartDetached({"/bin/kill", "-" + std::to_string(nSignal), std::to_string(m_nPid)}) &&
            m_nSignalSent == 0)
            m_nSignalSent = nSignal;
        return;
    }
    if (Running() && ::TerminateProcess(m_hProcess, SignalExitCode(nSignal)) && m_nSignalSent == 0)
        m_nSignalSent = nSignal;
}

const unsigned CTestProcess::kKilledExitCode = 128 + CTestProcess::kKillSignal;

void CTestProcess::KillId(int nPid)
{
    if (nPid <= 0)
        return;
    const HANDLE hProcess = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(nPid));
    if (hProcess)
    {
        ::TerminateProcess(hProcess, kKilledExitCode);
        ::CloseHandle(hProcess);
    }
}

bool CTestProcess::WaitFor(int nTimeoutMs, int& nResult)
{
    if (!Running())
    {
        nResult = -1;
        return true;
    }
    if (m_pHostDir)
    {
        int nStatus = -1;
        const auto ended = [&]
        {
            std::ifstream file(m_pHostDir->Path() / "exit");
            return static_cast<bool>(file >> nStatus);
        };
        if (!tests::WaitUntil(ended, nTimeoutMs < 0 ? std::chrono::hours(24 * 365)
                                                    : std::chrono::milliseconds(nTimeoutMs)))
            return false;
        // /bin/sh reports a child ended by a signal as 128 + the signal.
        nResult = m_nSignalSent != 0 && nStatus == 128 + m_nSignalSent ? -1000 - m_nSignalSent : nStatus;
        m_nPid = -1;
        m_nSignalSent = 0;
        return true;
    }
    const DWORD nWait = nTimeoutMs < 0 ? INFINITE : static_cast<DWORD>(nTimeoutMs);
    const DWORD nDone = ::WaitForSingleObject(m_hProcess, nWait);
    if (nDone == WAIT_TIMEOUT)
        return false;
    DWORD nExitCode = 0;
    if (nDone != WAIT_OBJECT_0 || !::GetExitCodeProcess(m_hProcess, &nExitCode))
        nResult = -1;
    else if (m_nSignalSent != 0 && nExitCode == SignalExitCode(m_nSignalSent))
        nResult = -1000 - m_nSignalSent;
    else
        nResult = static_cast<int>(nExitCode);
    ::CloseHandle(m_hProcess);
    m_hProcess = nullptr;
    m_nPid = -1;
    m_nSignalSent = 0;
    return true;
}

int CTestProcess::Wait()
{
    int nResult = -1;
    WaitFor(-1, nResult);
    return nResult;
}

int CTestProcess::Shell(const std::string& szCommand)
{
    // cmd.exe /s /c "<command>": with /s it drops the outer quotes and runs the rest as it stands.
    CTestProcess process;
    process.m_bShellCommand = true;
    return process.Start({"cmd.exe", "/d", "/s", "/c", szCommand}) ? process.Wait() : -1;
}

long CTestProcess::MemoryKiB(const char* szField) const
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!Running() || m_pHostDir || !::GetProcessMemoryInfo(m_hProcess, &counters, sizeof counters))
        return -1;
    if (std::strcmp(szField, "VmRSS") == 0)
        return static_cast<long>(counters.WorkingSetSize / 1024);
    if (std::strcmp(szField, "VmHWM") == 0)
        return static_cast<long>(counters.PeakWorkingSetSize / 1024);
    return -1;
}
