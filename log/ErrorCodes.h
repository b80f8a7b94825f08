// The table of numeric codes that every log record carries, and the texts of system error numbers.
#pragma once

#include <cstdint>
#include <string>

// The application codes this service writes. Other codes of the shared table are known to
// ErrorCodeText but not written here.
enum : int32_t
{
    kCodeServiceError = 36,     // worker not responding; attempts for a control file exhausted
    kCodeIniFile = 1014,        // copying the INI file failed
    kCodeDirMonitor = 1016,     // directory monitor failure
    kCodeServiceWarning = 3009, // control-file processing warnings
    kCodeLoggerInfo = 4003,     // log file rotated
    kCodeProcessInfo = 4004,    // engine start and finish, delivery of a control file
};

// The fixed text of a code, or "Unknown Code" for a code the table does not hold (0 and negative
// codes included). Thread-safe; the table is built once, on first use.
std::wstring ErrorCodeText(int32_t nCode);

// The first line of the system's message for a system error number, without its line end;
// "Unknown Error" when the system has no message for the number. Thread-safe.
std::wstring SystemErrorText(uint32_t nError);

// The outcome of a system call as text and number. A fresh one reads "No error" with code 0.
struct SSystemError
{
    SSystemError() = default;
    // The system's full message for the number (every line, line ends kept) and the number as code;
    // "Unknown Error" when the system has no message.
    explicit SSystemError(uint32_t nError);
    // The given text, code 0.
    explicit SSystemError(const std::wstring& szMessage);

    std::wstring m_szMessage = L"No error";
    int32_t m_nCode = 0;
};
