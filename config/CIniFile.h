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
// Every access waits for the mutex without a time limit. When the wait fails (the mutex could not be
// made), reads give the caller's default and writes are skipped, so that the file is never touched
// unguarded. A mutex left behind by a process that died is taken over: the file is only ever
// replaced whole, so it is consistent whatever the dead holder was doing.
//
// Not thread-safe by itself beyond what the mutex gives; the settings object uses one accessor.
class CIniFile
{
public:
    // Section used by callers that do not name one.
    static constexpr const wchar_t* kDefaultSection = L"General";

    // The file beside the executable: its full path with ".ini" appended.
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

    // Full path of the executable with ".ini" appended.
    static std::wstring DefaultPath();
    // Full name of the mutex that guards the file at szPath: "Global\" + the file's name.
    static std::wstring MutexNameOf(const std::wstring& szPath);

    // Converts 8-bit INI text read from inStream (each byte the character of the same code, CR LF or
    // LF ending a line) into UTF-16LE with the mark and CR LF line ends, and puts it in place of
    // szIniPath durably in one rename (ReplaceFileContent). Returns true when the file was replaced.
    // On a read error (logged as 1014), a write error or a failed rename, szIniPath stays as it was;
    // a ".tmp" copy left by an earlier version is removed. The caller holds the mutex.
    static bool ConvertStream(std::istream& inStream, const std::wstring& szIniPath);

private:
    void Initialise();
    // Creates the file with the mark only, or converts it when it lacks the mark. Under the mutex.
    void PrepareFile();

    platform::HANDLE m_hMutex = platform::kInvalidHandle;
    bool m_bMutexExisted = false;
    std::wstring m_szPath;
    const wchar_t* m_szDefaultSection = kDefaultSection;
};
