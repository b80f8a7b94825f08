// The directory search with include and exclude masks.
// GCC 12 with the sanitizers reports a false "may be used uninitialized" inside the std::regex
// compiler's own code; it is not about this file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "util/CFileFindEx.h"

#include "platform/MessageBox.h"
#include "util/CFileOps.h"
#include "util/TextConversion.h"

std::wstring WildcardToRegex(const std::wstring& szMask)
{
    // Characters that mean something in a regular expression but nothing in a wildcard mask are
    // escaped, so that a mask such as "report(1).pdf" matches that very name.
    static const std::wstring kLiteralOnly = L"\\^$+()[]{}|";
    std::wstring szRegex = L"^";
    for (wchar_t c : szMask)
    {
        if (c == L'*')
            szRegex += L".*?";
        else if (c == L'.')
            szRegex += L"\\.";
        else if (c == L'?')
            szRegex += L'.';
        else
        {
            if (kLiteralOnly.find(c) != std::wstring::npos)
                szRegex += L'\\';
            szRegex += c;
        }
    }
    szRegex += L'$';
    return szRegex;
}

void CFileFindEx::Compile(const std::wstring& szMasks, std::vector<std::wregex>& patterns)
{
    patterns.clear();
    size_t nStart = 0;
    while (nStart <= szMasks.size())
    {
        size_t nEnd = szMasks.find(L'|', nStart);
        if (nEnd == std::wstring::npos)
            nEnd = szMasks.size();
        std::wstring szMask = szMasks.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        if (szMask.empty())
            continue;
        try
        {
            // Wildcard masks are folded to lower case before conversion; a regular expression keeps
            // its escapes (\D is not \d) and ignores case instead.
            if (m_bMasksAreRegex)
                patterns.emplace_back(szMask, std::regex_constants::ECMAScript | std::regex_constants::icase);
            else
                patterns.emplace_back(WildcardToRegex(LowerCase(szMask)), std::regex_constants::ECMAScript);
        }
        catch (const std::regex_error& error)
        {
            m_nRegexError = static_cast<int>(error.code());
            std::wstring szWhat;
            const char* szError = error.what();
            while (*szError != '\0')
                szWhat += static_cast<wchar_t>(static_cast<unsigned char>(*szError++));
            platform::ShowMessageBox(L"Error on regex " + szMask + L":" + szWhat, L"Error",
                                     platform::kMbOk | platform::kMbIconError);
        }
    }
}

bool CFileFindEx::FindFile(const std::wstring& szPath, const std::wstring& szInclude,
                           const std::wstring& szExclude, bool bMasksAreRegex)
{
    Close();
    SetFilter(szInclude, szExclude, bMasksAreRegex);
    m_bFiltering = m_bFiltering && CFileOps::GetPathType(szPath) == 2;
    std::wstring szPattern;
    if (m_bFiltering)
    {
        m_szFolder = CFileOps::AddTrailingBackslash(szPath);
        szPattern = m_szFolder + L"*.*";
    }
    else
    {
        m_szFolder = CFileOps::SplitPath(szPath).m_szFolder;
        szPattern = szPath;
    }

    // The search asks WantsEntry for every name it reads: what it hands out has passed the filter.
    return First(szPattern, m_data);
}

void CFileFindEx::SetFilter(const std::wstring& szInclude, const std::wstring& szExclude, bool bMasksAreRegex)
{
    m_szInclude = szInclude;
    m_szExclude = szExclude;
    m_bMasksAreRegex = bMasksAreRegex;
    m_nRegexError = 0;
    Compile(m_szInclude, m_includes);
    Compile(m_szExclude, m_excludes);
    m_bFiltering = szInclude.find_first_not_of(L'|') != std::wstring::npos ||
                   szExclude.find_first_not_of(L'|') != std::wstring::npos;
}

bool CFileFindEx::FindNextFile()
{
    return Next(m_data);
}

bool CFileFindEx::WantsEntry(const std::wstring& szName, bool bDirectory)
{
    return PassesFilter(szName, bDirectory);
}

bool CFileFindEx::PassesFilter(const platform::SFindData& data) const
{
    return PassesFilter(data.szName, (data.nAttributes & platform::kAttributeDirectory) != 0);
}

bool CFileFindEx::PassesFilter(const std::wstring& szEntryName, bool bDirectory) const
{
    if (!m_bFiltering || bDirectory)
        return true;
    std::wstring szName = LowerCase(szEntryName);
    bool bIncluded = m_includes.empty();
    for (const std::wregex& pattern : m_includes)
    {
        if (std::regex_match(szName, pattern))
        {
            bIncluded = true;
            break;
        }
    }
    if (!bIncluded)
        return false;
    for (const std::wregex& pattern : m_excludes)
    {
        if (std::regex_match(szName, pattern))
            return false;
    }
    return true;
}
