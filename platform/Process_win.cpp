// Processes on Windows: CreateProcessW, the process handles of the children, the Toolhelp snapshot
// of the running processes, OpenProcess, TerminateProcess and waits on process handles.
//
// The start splits the command line itself and names the program to CreateProcessW: the program is
// the first token (quotes group, as the system reads it), a name without a folder is searched on the
// PATH only, and the command line handed over starts with that program quoted, followed by the
// arguments exactly as the caller wrote them. So an unquoted path with a blank never makes the system
// try its shorter prefixes ("C:\Program" for "C:\Program Files\..."), and the child reads the same
// arguments as SplitCommandLine does.
//
// The layer keeps the handle of every child it started, so that WaitForProcess can read the exit code
// (the system keeps it while a handle is open, and no other process can get the id meanwhile). The
// handles of the last 256 children that ended are kept; older ones are closed at the next start.
#include "platform/Process.h"

#include "platform/Encoding.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <deque>
#include <map>
#include <mutex>

namespace platform
{

namespace
{

constexpr size_t kKeptFinished = 256;

// The exit code that TerminateProcessById gives, as TerminateProcess(h, -9).
constexpr UINT kTerminatedExitCode = static_cast<UINT>(-9);

struct SChildren
{
    std::mutex mutex;
    std::map<int, ::HANDLE> handles;
};

SChildren& Children()
{
    static auto* pChildren = new SChildren();
    return *pChildren;
}

// Closes the handles of ended children beyond the newest kKeptFinished of them (ids grow roughly with
// time, but not reliably: the order of the map is only a tie-break). Called with the mutex held.
void DropOldFinished(SChildren& c)
{
    std::deque<int> finished;
    for (const auto& [nPid, h] : c.handles)
    {
        if (::WaitForSingleObject(h, 0) == WAIT_OBJECT_0)
        {
            finished.push_back(nPid);
        }
    }
    while (finished.size() > kKeptFinished)
    {
        auto it = c.handles.find(finished.front());
        ::CloseHandle(it->second);
        c.handles.erase(it);
        finished.pop_front();
    }
}

bool HasFolder(const std::wstring& szProgram)
{
    return szProgram.find_first_of(L"\\/:") != std::wstring::npos;
}

bool IsFile(const std::wstring& szPath)
{
    const DWORD nAttributes = ::GetFileAttributesW(szPath.c_str());
    return nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The file the program name stands for: a path as it stands (or with ".exe" added when it has no
// extension and no such file exists), a bare name searched on the PATH with ".exe" as its default
// extension. False with the last error set when there is none.
bool ResolveProgram(const std::wstring& szProgram, std::wstring& szFile)
{
    if (HasFolder(szProgram))
    {
        szFile = szProgram;
        const size_t nSlash = szProgram.find_last_of(L"\\/:");
        if (!IsFile(szFile) && szProgram.find(L'.', nSlash + 1) == std::wstring::npos &&
            IsFile(szProgram + L".exe"))
        {
            szFile = szProgram + L".exe";
        }
        return true; // CreateProcessW reports a missing or unusable file
    }
    const DWORD nPathSize = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring szPath(nPathSize, L'\0');
    if (nPathSize == 0 || ::GetEnvironmentVariableW(L"PATH", szPath.data(), nPathSize) == 0)
    {
        SetLastError(kErrorFileNotFound);
        return false;
    }
    szPath.resize(wcslen(szPath.c_str()));
    std::wstring szFound(MAX_PATH, L'\0');
    for (int nTry = 0; nTry < 2; ++nTry)
    {
        const DWORD n = ::SearchPathW(szPath.c_str(), szProgram.c_str(), L".exe",
                                      static_cast<DWORD>(szFound.size()), szFound.data(), nullptr);
        if (n == 0)
        {
            SetLastError(kErrorFileNotFound);
            return false;
        }
        if (n < szFound.size())
        {
            szFound.resize(n);
            szFile = szFound;
            return true;
        }
        szFound.assign(n, L'\0');
    }
    SetLastError(kErrorFileNotFound);
    return false;
}

// The position in the command line where the program token ends (quotes group, nothing escapes).
size_t EndOfProgramToken(const std::wstring& szCommandLine)
{
    size_t i = 0;
    const size_t n = szCommandLine.size();
    while (i < n && (szCommandLine[i] == L' ' || szCommandLine[i] == L'\t'))
    {
        ++i;
    }
    if (i < n && szCommandLine[i] == L'"')
    {
        const size_t nClose = szCommandLine.find(L'"', i + 1);
        return nClose == std::wstring::npos ? n : nClose + 1;
    }
    while (i < n && szCommandLine[i] != L' ' && szCommandLine[i] != L'\t')
    {
        ++i;
    }
    return i;
}

// The program name without its folder and a final ".exe".
std::wstring ProgramName(std::wstring szName)
{
    const size_t nSlash = szName.find_last_of(L"/\\");
    if (nSlash != std::wstring::npos)
    {
        szName.erase(0, nSlash + 1);
    }
    if (szName.size() > 4 && EqualsNoCase(szName.substr(szName.size() - 4), L".exe"))
    {
        szName.resize(szName.size() - 4);
    }
    return szName;
}

} // namespace

bool CreateProcessFromCommandLine(const std::wstring& szCommandLine, SProcessInfo& info)
{
    const std::vector<std::wstring> args = SplitCommandLine(szCommandLine);
    if (args.empty() || args[0].empty())
    {
        SetLastError(kErrorFileNotFound);
        return false;
    }
    std::wstring szProgram;
    if (!ResolveProgram(args[0], szProgram))
    {
        return false;
    }
    // A file name cannot hold a quote, so the quoted program is always one token.
    std::wstring szLine = L"\"" + szProgram + L"\"" + szCommandLine.substr(EndOfProgramToken(szCommandLine));

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    SChildren& c = Children();
    std::lock_guard<std::mutex> lock(c.mutex);
    DropOldFinished(c);
    // No handles inherited; the child gets this process's environment and folder.
    if (!::CreateProcessW(szProgram.c_str(), szLine.data(), nullptr, nullptr, FALSE,
                          CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup, &process))
    {
        SetLastError(::GetLastError());
        return false;
    }
    ::CloseHandle(process.hThread);
    const int nPid = static_cast<int>(process.dwProcessId);
    auto it = c.handles.find(nPid);
    if (it != c.handles.end())
    {
        ::CloseHandle(it->second); // an ended child of the same id: its code is gone with it
    }
    c.handles[nPid] = process.hProcess;
    info.nProcessId = nPid;
    return true;
}

bool WaitForProcess(const SProcessInfo& info, uint32_t& nExitCode)
{
    ::HANDLE hProcess = nullptr;
    {
        SChildren& c = Children();
        std::lock_guard<std::mutex> lock(c.mutex);
        auto it = c.handles.find(info.nProcessId);
        if (it == c.handles.end())
        {
            SetLastError(kErrorInvalidHandle);
            return false;
        }
        // A handle of its own, so that a start meanwhile may close the kept one.
        if (!::DuplicateHandle(::GetCurrentProcess(), it->second, ::GetCurrentProcess(), &hProcess, 0, FALSE,
                               DUPLICATE_SAME_ACCESS))
        {
            SetLastError(::GetLastError());
            return false;
        }
    }
    DWORD nCode = 0;
    const bool bOk =
        ::WaitForSingleObject(hProcess, INFINITE) == WAIT_OBJECT_0 && ::GetExitCodeProcess(hProcess, &nCode);
    const DWORD nError = ::GetLastError();
    ::CloseHandle(hProcess);
    if (!bOk)
    {
        SetLastError(nError);
        return false;
    }
    nExitCode = nCode;
    return true;
}

bool GetOwnArguments(std::vector<std::wstring>& args)
{
    args.clear();
    int nCount = 0;
    LPWSTR* pArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nCount);
    if (pArgs == nullptr)
    {
        SetLastError(::GetLastError());
        return false;
    }
    for (int i = 0; i < nCount; ++i)
    {
        args.emplace_back(pArgs[i]);
    }
    ::LocalFree(pArgs);
    if (args.empty())
    {
        SetLastError(kErrorInvalidData);
        return false;
    }
    return true;
}

int FindProcessByName(const std::wstring& szName)
{
    const std::wstring szWanted = ProgramName(szName);
    if (szWanted.empty())
    {
        return 0;
    }
    ::HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
    {
        SetLastError(::GetLastError());
        return 0;
    }
    const DWORD nSelf = ::GetCurrentProcessId();
    int nFound = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = ::Process32FirstW(hSnapshot, &entry); bMore && nFound == 0;
         bMore = ::Process32NextW(hSnapshot, &entry))
    {
        if (entry.th32ProcessID == 0 || entry.th32ProcessID == nSelf ||
            !EqualsNoCase(ProgramName(entry.szExeFile), szWanted))
        {
            continue;
        }
        // A process that ended after the snapshot was taken is not counted.
        ::HANDLE hProcess = ::OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (hProcess == nullptr)
        {
            nFound = static_cast<int>(entry.th32ProcessID); // running, but not ours to open
            break;
        }
        if (::WaitForSingleObject(hProcess, 0) == WAIT_TIMEOUT)
        {
            nFound = static_cast<int>(entry.th32ProcessID);
        }
        ::CloseHandle(hProcess);
    }
    ::CloseHandle(hSnapshot);
    return nFound;
}

bool GetSystemFolder(std::wstring& szFolder)
{
    wchar_t buffer[MAX_PATH + 1];
    const DWORD nOverride = ::GetEnvironmentVariableW(L"TARVIK_SYSTEM_DIR", buffer, MAX_PATH + 1);
    if (nOverride > 0 && nOverride <= MAX_PATH)
    {
        szFolder.assign(buffer, nOverride);
    }
    else
    {
        const UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
        if (n == 0 || n > MAX_PATH)
        {
            SetLastError(n == 0 ? static_cast<uint32_t>(::GetLastError())
                                : static_cast<uint32_t>(kErrorFilenameExcedRange));
            return false;
        }
        szFolder.assign(buffer, n);
    }
    while (szFolder.size() > 3 && (szFolder.back() == L'\\' || szFolder.back() == L'/'))
    {
        szFolder.pop_back();
    }
    return true;
}

bool TerminateProcessById(int nProcessId)
{
    if (nProcessId <= 0)
    {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    ::HANDLE hProcess = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(nProcessId));
    if (hProcess == nullptr)
    {
        SetLastError(::GetLastError());
        return false;
    }
    const bool bOk = ::TerminateProcess(hProcess, kTerminatedExitCode) != FALSE;
    const DWORD nError = ::GetLastError();
    ::CloseHandle(hProcess);
    if (!bOk)
    {
        SetLastError(nError);
    }
    return bOk;
}

EProcessWait WaitForProcessEnd(int nProcessId, uint32_t nMilliseconds)
{
    if (nProcessId <= 0)
    {
        SetLastError(kErrorInvalidParameter);
        return EProcessWait::Failed;
    }
    ::HANDLE hProcess = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(nProcessId));
    if (hProcess == nullptr)
    {
        const DWORD nError = ::GetLastError();
        if (nError == ERROR_INVALID_PARAMETER)
        {
            return EProcessWait::Ended; // no process has that id any more
        }
        SetLastError(nError);
        return EProcessWait::Failed;
    }
    const DWORD nTimeout = nMilliseconds > 0x7FFFFFFFu ? INFINITE : nMilliseconds;
    const DWORD nResult = ::WaitForSingleObject(hProcess, nTimeout);
    const DWORD nError = ::GetLastError();
    ::CloseHandle(hProcess);
    if (nResult == WAIT_OBJECT_0)
    {
        return EProcessWait::Ended;
    }
    if (nResult == WAIT_TIMEOUT)
    {
        return EProcessWait::Timeout;
    }
    SetLastError(nError);
    return EProcessWait::Failed;
}

} // namespace platform
