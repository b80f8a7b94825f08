// The process-wide settings of the monitoring service and their INI file.
#pragma once

#include "config/CBaseParams.h"

#include <cstdint>
#include <string>

// The settings, loaded from the INI file at construction and saved back at destruction. The INI key
// of each member is its name without everything before the first capital letter (m_szTxtInDir is
// TxtInDir), so renaming a member renames its key in the file.
//
// No lock of its own: the monitor thread reads the members while the engine runs, and they are
// changed only while the engine is stopped.
class CFMParams : public CBaseParams
{
public:
    // Sets the defaults, then loads the INI file beside the executable.
    CFMParams();
    // Saves, then frees the members.
    ~CFMParams() override;

    CFMParams(const CFMParams&) = delete;
    CFMParams& operator=(const CFMParams&) = delete;

    // Reads every setting, the current value serving as the default of a missing key, and gives the
    // four directories a trailing path separator (NormaliseFolders).
    void Load();
    // Gives the four directories a trailing path separator (unless empty): the engine joins folder
    // and file name as they stand, so whoever changes a directory calls this before the engine starts.
    void NormaliseFolders();
    // Writes every setting (directories as held, with their separator). True when every write
    // succeeded.
    bool Save();

    // The INI key of a member: szMemberName without everything before its first capital A to Z.
    static std::wstring KeyFromMemberName(const std::wstring& szMemberName);

    const wchar_t* m_szGeneralSection = L"General";
    const wchar_t* m_szMailSection = L"E-mail";

    int32_t m_nAttemptTimeout = 5; // seconds between passes of the monitor loop
    std::wstring m_szTxtInDir;     // incoming directory of control files
    std::wstring m_szTxtOutDir;    // outgoing directory for processed control files
    std::wstring m_szPdfDefDir;    // directory of documents named without a directory
    int32_t m_nAttempts = 5;       // attempts a control file gets before it fails
    std::wstring m_szDefEmail;     // address of failure reports when the control file names none
    int32_t m_bMoveErr = 0;        // non-zero: failed control files go to m_szTxtErrDir, else deleted
    std::wstring m_szTxtErrDir;    // error directory
    std::wstring m_szEmSmtpServer; // SMTP server host
    std::wstring m_szEmSenderEmail;
    std::wstring m_szEmSenderName;
    std::wstring m_szEmSubject;
    int32_t m_nEmPort = 25;

protected:
    // Loads the INI file at szIniPath instead of the one beside the executable; for tests.
    explicit CFMParams(const std::wstring& szIniPath);
};
