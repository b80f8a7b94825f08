// One pending control file: its fields, attempt count and state, and one processing attempt.
#pragma once

#include "engine/CFileParser.h"

#include <cstdint>
#include <string>

class CFMParams;

class CTxtFile
{
public:
    enum : int32_t
    {
        kStateNew = 0,
        kStatePending = 1,  // attempted, not finished
        kStateFinished = 2, // moved out, given up, or gone
    };

    // szPath: full path of the control file. pParams is not owned and must outlive the record.
    CTxtFile(const std::wstring& szPath, CFMParams* pParams);
    virtual ~CTxtFile() = default;

    // One attempt, logged step by step. True only when the control file was moved to the outgoing
    // directory. Monitor thread only.
    bool Process();

    // The value of the first of the two fields present (see LookupField).
    std::wstring GetField(int nFirstId, int nSecondId) const;

    // Mails the failure report, with the control file attached, to RespondEmail (or #CI, or the
    // default address when neither is usable) and logs the outcome. True when it was delivered.
    bool SendFailureReport();

    const std::wstring& GetPath() const { return m_szPath; }
    int32_t GetState() const { return m_nState; }
    int32_t GetAttempts() const { return m_nAttempts; }
    const FieldMap& GetFields() const { return m_fields; }

    // Control files younger than this (seconds since their last write) are not read yet.
    static constexpr double kMinimumAge = 5.0;

private:
    void GiveUp();
    std::wstring FieldsText(const wchar_t* szSeparator, const wchar_t* szTerminator) const;

    FieldMap m_fields;
    CFMParams* m_pParams;
    std::wstring m_szPath;
    int32_t m_nAttempts = 0;
    int32_t m_nState = kStateNew;
};
