// The validation record of one file under watch: what was seen of it last time, and whether it has
// passed, failed or is still pending.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Clock.h"
#include "platform/FileSystem.h"

class IFileValidatior;

class CDocInfo
{
public:
    enum : int32_t
    {
        kStatusPending = 0,
        kStatusPassed = 1,
        kStatusFailed = 2, // timed out
    };

    // Makes the record of the file szPath from its directory entry and takes the first look: with a
    // validator, m_bValid is the result of its Validate (which may set m_nPages and m_szMessage);
    // without one, m_bValid is true. The status stays pending either way.
    CDocInfo(const std::wstring& szPath, const platform::SFindData& entry, IFileValidatior* pValidator);
    virtual ~CDocInfo();

    // Looks at the file again unless the last look was less than nInterval ms ago (then m_bChecked
    // is false and nothing changes). True when the record reached a final state in this call: it
    // passed, or nTimeout ms have gone by since the record was made. pValidator may be null (then a
    // file of steady, non-zero size passes).
    bool Check(IFileValidatior* pValidator, uint32_t nTimeout, int32_t nInterval);

    // The elapsed-time text of the messages: "(SS.mmmsec). " with at least two digits of seconds.
    static std::wstring ElapsedText(int32_t nElapsed);

private:
    // The steps of Check, each with its messages: the timeout sentence (final failure); whether the
    // size stayed the same non-zero size since the last look (else it is stored for the next look);
    // whether the creation time converts; the validator's verdict (without one: passed).
    void TimeOut(uint32_t nTimeout, bool bSizeChanged);
    bool SizeIsSteady(uint32_t nCurrent, bool bChanged, const std::wstring& szElapsed);
    bool HasUsableCreationTime(const std::wstring& szElapsed);
    bool RunValidator(IFileValidatior* pValidator, const std::wstring& szElapsed);

public:
    platform::SFileTime m_ftLastWrite;
    platform::SFileTime m_ftCreation;
    std::wstring m_szPath;
    int32_t m_nPages = 0;
    uint64_t m_nSize = 0;
    bool m_bValid = false;
    bool m_bChecked = false;
    std::wstring m_szMessage;
    int32_t m_nStatus = kStatusPending;
    uint32_t m_nLastCheck = 0;
    uint32_t m_nStarted = 0;
};
