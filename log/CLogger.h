// The service's log: one UTF-8 text record per call, appended to the log file of the data folder
// (DataDirectory() + the executable's name + ".log"), rotated to the same name with ".old.log" past
// 1,024,000 bytes.
//
// Record: category,code,code text,DD/MM/YYYY,hh:mm:ss.mmm,message CR LF. A logger holds only its
// path: make one on the stack wherever needed. Each record is opened, appended with a single write
// and closed, so records of concurrent threads and processes never interleave inside a line. Any
// thread may log; logging never fails to the caller (a record that cannot be written is lost, and a
// program that may not write the log says so once on standard error). The log is a data-folder file:
// a link or a hard link under its name is refused, a new log is 0640.
#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <string>

class CLogger
{
public:
    // The log of the data folder (DefaultPath). Reads the debug switch (IsDebugMode) on first construction.
    CLogger();
    // A log at the given path; the backup is that path with its ".log" ending replaced by ".old.log"
    // (".old.log" appended when it has none).
    explicit CLogger(const std::wstring& szLogPath);
    virtual ~CLogger() = default;

    // Appends one record; message line ends become ". ". With debug mode on, the message also goes
    // to the debugger output.
    void Log(int32_t nCode, const std::wstring& szMessage) const;
    // Logs the calling thread's last system error: the number as code, SystemErrorText as message.
    void LogLastError() const;
    // The same for a given system error number.
    void LogSystemError(uint32_t nError) const;

    // DataDirectory() + the executable's file name + ".log".
    static std::wstring DefaultPath();

    const std::wstring& GetLogPath() const { return m_szLogPath; }
    std::wstring GetBackupPath() const;

    // The record for a code, message and local time, CR LF included.
    static std::wstring FormatRecord(int32_t nCode, const std::wstring& szMessage,
                                     const platform::SSystemTime& time);
    // The message with every CR LF and then every remaining LF replaced by ". ".
    static std::wstring FlattenMessage(const std::wstring& szMessage);

    // A log file larger than this is rotated after the append that made it so.
    static constexpr uint64_t kRotateSize = 1000 * 1024;
    // How long a record that is due to rotate tries for the rotation lock before it leaves the
    // rotation to a later record.
    static constexpr uint32_t kRotateLockWaitMs = 50;

private:
    void Rotate() const;

    std::wstring m_szLogPath;
};

// Whether the registry value "Debug" of HKEY_LOCAL_MACHINE\Software\Nordal\Halvane is exactly "1".
// Read once per process (first logger or first trace), never refreshed. Thread-safe.
bool IsDebugMode();

// With bRegister and a non-empty name, records the name for the calling thread (a name recorded
// earlier stays). Returns the name recorded for the calling thread, or "Undefined Thread".
// Thread-safe.
std::wstring ThreadName(const std::wstring& szName = L"", bool bRegister = false);

// Starts the log viewer (logvista beside the executable) on the log file, creating a missing file
// empty first; does not wait for it. When it cannot be started shows the error box "Unable to show
// log". Call from the user-interface thread.
void ShowLog(const std::wstring& szLogPath);
