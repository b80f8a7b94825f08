// One pending control file: its fields, attempt count and state, and one processing attempt.
#pragma once

#include "engine/CFileParser.h"

#include <cstdint>
#include <string>

class CFMParams;
class CIncomingFolder;

namespace platform
{
class COpenFile;
}

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
    // The same within a pass that holds the incoming folder open: the control file is reached by
    // its name in that folder (or its subfolder), never through a path resolved again.
    bool Process(CIncomingFolder& folder);

    // The value of the first of the two fields present (see LookupField).
    std::wstring GetField(int nFirstId, int nSecondId) const;

    // Mails the failure report, with the control file attached, to RespondEmail (or #CI, or the
    // default address when neither is usable) and logs the outcome. True when it was delivered.
    bool SendFailureReport();

    const std::wstring& GetPath() const { return m_szPath; }
    int32_t GetState() const { return m_nState; }
    int32_t GetAttempts() const { return m_nAttempts; }
    const FieldMap& GetFields() const { return m_fields; }
    CFMParams* GetParams() const { return m_pParams; }

    // Control files younger than this (seconds since their last write) are not read yet.
    static constexpr double kMinimumAge = 5.0;

    // A control file with more names than this is not read: someone may have linked it in.
    static constexpr uint32_t kMaxLinks = 1;

private:
    // What the first look at the control file decided.
    enum class EOpened
    {
        Readable, // open, regular, one name
        Finished, // gone, or a folder now: the record ends
        Refused,  // a link, another kind, or more than one name: not read on this attempt
    };

    void BeginAttempt();
    EOpened OpenControlFile(CIncomingFolder& folder, platform::COpenFile& file);
    bool IsOldEnough(const platform::COpenFile& file) const;
    void ParseContent(platform::COpenFile& file);
    bool ResolveDocument(std::wstring& szDocument) const;
    bool CheckDocument(const std::wstring& szDocument) const;
    bool Release(CIncomingFolder& folder, platform::COpenFile& file);
    // Moves (or copies from the open file, across file systems) the control file into szDir.
    void MoveInto(CIncomingFolder& folder, platform::COpenFile& file, const std::wstring& szDir,
                  bool bReplace);
    void GiveUp(CIncomingFolder& folder);
    bool SendReport(const std::string* pContent, const std::wstring& szNote);
    std::wstring AttemptText() const { return std::to_wstring(m_nAttempts); }
    std::wstring FieldsText(const wchar_t* szSeparator, const wchar_t* szTerminator) const;

    FieldMap m_fields;
    CFMParams* m_pParams;
    std::wstring m_szPath;
    int32_t m_nAttempts = 0;
    int32_t m_nState = kStateNew;
};
