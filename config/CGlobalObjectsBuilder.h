// Maker of the machine-wide named objects: the INI file's mutex and the engine's instance event.
#pragma once

#include "platform/KernelObjects.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Builds named mutexes and manual-reset events called prefix + name, open to every user of the
// machine. One builder may make several objects; LastError() tells about the most recent one.
class CGlobalObjectsBuilder
{
public:
    // The prefix that every machine-wide name starts with: the word Global and one backslash.
    static constexpr const wchar_t* kGlobalPrefix = L"Global\\";
    // Longest full name handed to the system; longer names are cut.
    static constexpr size_t kMaxNameLength = 260;

    explicit CGlobalObjectsBuilder(const std::wstring& szPrefix = kGlobalPrefix);
    virtual ~CGlobalObjectsBuilder();

    // Creates or opens the mutex prefix + szName (not initially owned). Returns the handle, owned by
    // the caller (platform::CloseHandleObject), or kInvalidHandle. LastError() gives 0, 183 when the
    // mutex existed already, or the reason of a failure (e.g. 5, access denied).
    platform::HANDLE CreateMutex(const std::wstring& szName);

    // Creates or opens the manual-reset event prefix + szName, initially not set; results as for
    // CreateMutex.
    platform::HANDLE CreateEvent(const std::wstring& szName);

    // The system error read right after the last create call; 0 before any.
    uint32_t LastError() const { return m_nLastError; }

    // The full name an object made from szName gets: prefix + szName, cut to kMaxNameLength.
    std::wstring FullName(const std::wstring& szName) const;

private:
    uint32_t m_nLastError = 0;
    std::wstring m_szPrefix;
};
