// Accessor of the settings INI file: every read and write of the file goes through here, serialised
// between all processes of the machine by a named mutex, and the file is kept in UTF-16LE.
#pragma once

#include "platform/KernelObjects.h"

#include <cstdint>
#include <istream>
#include <string>

// One INI file. The constructor creates the machine-wide mutex "Global\" + the file's name (the text
// after the last path separator), so that programs in different directories whose INI files have the
// same name share it; then it creates a missing file with only the UTF-16LE mark FF FE, or converts an
// existing file without the mark from 8-bit text to UTF-16LE once.
//
// Every access waits for the mutex at most LockBound() milliseconds (5 seconds), watching for a quit
// request meanwhile. When the mutex stays held that long (another process keeps it), or a quit request
// arrives, the access logs it (1014, once until the mutex is had again) and goes on without the mutex;
// later accesses then try only briefly. The file is only ever replaced whole, so it is consistent
// whatever a holder is doing. When the mutex cannot be used at all (it could not be made), reads give
// the caller's default and writes are skipped. A mutex left behind by a process that died is taken
// over.
//
// The file is a data-folder file: a link, a hard link or anything but a regular file under its name
// is logged (1014) and not used (reads give the default, writes are skipped).
//
// Not thread-safe by itself beyond what the mutex gives; the settings object uses one accessor.
class CIniFile
{
public:
    // Section used by callers that do not name one.
    static constexpr const wchar_t* kDefaultSection = L"General";

    // The file of the data folder: DataDirectory() + the executable's name + ".ini".
    CIniFile();
    // The file at szPath (a full path).
    explicit CIniFile(const std::wstring& szPath);
    virtual ~CIniFile();

    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    // The value of szKey in szSection, at most 4095 characters; szDefault when the key is missing.
    std::wstring ReadString(const std::wstring& szSection, const std::wstring& szKey,
                            const std::wstring& szDefault);
    // The value read as an integer (sign and leading digits; 0 when there are none); nDefault when
    // the key is missing.
    int32_t ReadInt(const std::wstring& szSection, const std::wstring& szKey, int32_t nDefault);
    // Writes the value as decimal text. False when the write failed or the mutex was not obtained.
    bool WriteInt(const std::wstring& szSection, const std::wstring& szKey, int32_t nValue);
    // Writes key=value, creating section and key as needed. False as for WriteInt.
    bool WriteString(const std::wstring& szSection, const std::wstring& szKey, const std::wstring& szValue);

    const std::wstring& Path() const { return m_szPath; }
    // True when the mutex existed already when this accessor was made.
    bool MutexExisted() const { return m_bMutexExisted; }
    const wchar_t* DefaultSection() const { return m_szDefaultSection; }

    // DataDirectory() + the executable's file name + ".ini".
    static std::wstring DefaultPath();
    // Full name of the mutex that guards the file at szPath: "Global\" + the file's name.
    static std::wstring MutexNameOf(const std::wstring& szPath);

    // Converts 8-bit INI text read from inStream (each byte the character of the same code, CR LF or
    // LF ending a line) into UTF-16LE with the mark and CR LF line ends, and puts it in place of
    // szIniPath durably in one rename (ReplaceFileContent). Returns true when the file was replaced.
    // On a read error (logged as 1014), a write error or a failed rename, szIniPath stays as it was;
    // a ".tmp" copy left by an earlier version is removed. The caller holds the mutex.
    static bool ConvertStream(std::istream& inStream, const std::wstring& szIniPath);

    // How long an access waits for the mutex before it goes on without it.
    static constexpr uint32_t kLockBoundMs = 5000;
    // Changes that bound for the whole process (tests); not thread-safe against running accesses.
    static void SetLockBound(uint32_t nBoundMs);

private:
    // One access under the mutex (or without it, after the bound); see the class comment.
    class CAccess
    {
    public:
        explicit CAccess(CIniFile& file);
        ~CAccess();
        CAccess(const CAccess&) = delete;
        CAccess& operator=(const CAccess&) = delete;
        // False when the file must not be touched (the mutex is unusable).
        bool Allowed() const { return m_bAllowed; }

    private:
        CIniFile& m_file;
        bool m_bOwned = false;
        bool m_bAllowed = false;
    };

    void Initialise();
    // Creates the file with the mark only, or converts it when it lacks the mark. Under the mutex.
    void PrepareFile();

    platform::HANDLE m_hMutex = platform::kInvalidHandle;
    bool m_bMutexExisted = false;
    bool m_bLockTimedOut = false; // the last wait ran out: try only briefly until the mutex is had
    static uint32_t s_nLockBoundMs;
    std::wstring m_szPath;
    const wchar_t* m_szDefaultSection = kDefaultSection;
};
