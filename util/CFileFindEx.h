// A directory search that passes only the entries whose names match include masks and no exclude
// mask. Masks are wildcard masks (or regular expressions) joined by "|"; matching ignores letter case.
// The filter is applied to each name as the directory is read, so that entries it rejects are never
// described (no attributes or times are read for them).
#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

// The regular expression for a wildcard mask: "*" any run (lazy), "?" any one character, other
// characters literal; anchored at both ends ("*.txt" gives ^.*?\.txt$).
std::wstring WildcardToRegex(const std::wstring& szMask);

class CFileFindEx : public platform::CFindFile
{
public:
    CFileFindEx() = default;
    ~CFileFindEx() override = default;

    // Starts a search. With masks given and szPath a directory (trailing separator optional), lists
    // that directory and filters its entries; otherwise szPath is searched as given (a path or a
    // wildcard pattern) without filtering. Directories always pass. A mask that is not a valid
    // regular expression is reported in a message box ("Error on regex ...") and skipped.
    // True when an entry passed; GetData and the other getters describe it.
    bool FindFile(const std::wstring& szPath, const std::wstring& szInclude = L"",
                  const std::wstring& szExclude = L"", bool bMasksAreRegex = false);
    // Sets the masks of the filter without searching (for names listed by other means): with a mask
    // given, PassesFilter then applies them.
    void SetFilter(const std::wstring& szInclude, const std::wstring& szExclude = L"",
                   bool bMasksAreRegex = false);
    // Moves to the next entry that passes; false at the end.
    bool FindNextFile();

    const platform::SFindData& GetData() const { return m_data; }
    const std::wstring& GetFileName() const { return m_data.szName; }
    // The folder of the search followed by the entry's name.
    std::wstring GetFilePath() const { return m_szFolder + m_data.szName; }
    bool IsDirectory() const { return (m_data.nAttributes & platform::kAttributeDirectory) != 0; }
    bool IsDots() const { return m_data.szName == L"." || m_data.szName == L".."; }

    // The filter for one entry, with the masks of the current search.
    bool PassesFilter(const platform::SFindData& data) const;
    // The same for a name and whether it is a directory.
    bool PassesFilter(const std::wstring& szName, bool bDirectory) const;

    size_t GetIncludeCount() const { return m_includes.size(); }
    size_t GetExcludeCount() const { return m_excludes.size(); }
    // The error code of the last mask that failed to parse (0 when none did).
    int GetLastRegexError() const { return m_nRegexError; }

protected:
    bool WantsEntry(const std::wstring& szName, bool bDirectory) override;

private:
    void Compile(const std::wstring& szMasks, std::vector<std::wregex>& patterns);

    std::wstring m_szInclude;
    std::wstring m_szExclude;
    bool m_bMasksAreRegex = false;
    bool m_bFiltering = false;
    std::vector<std::wregex> m_includes;
    std::vector<std::wregex> m_excludes;
    int m_nRegexError = 0;
    std::wstring m_szFolder;
    platform::SFindData m_data;
};
