// Control-file parser and field lookup.
#include "engine/CFileParser.h"

#include "platform/FileSystem.h"

namespace
{

const wchar_t* const kFieldNames[] = {L"RespondEmail", L"#CI", L"#CustomerName", L"#CN",
                                      L"Fax",          L"#DT", L"File",          L"#SX"};

bool IsTrimmed(wchar_t ch)
{
    return ch == L' ' || ch == L'\t' || ch == L'\r' || ch == L'\n' || ch == L'\v' || ch == L'\f';
}

std::wstring Trim(const std::wstring& sz)
{
    size_t nBegin = 0;
    size_t nEnd = sz.size();
    while (nBegin < nEnd && IsTrimmed(sz[nBegin]))
        ++nBegin;
    while (nEnd > nBegin && IsTrimmed(sz[nEnd - 1]))
        --nEnd;
    return sz.substr(nBegin, nEnd - nBegin);
}

// Each byte is the character of the same code.
std::wstring Widen(const std::string& sz)
{
    std::wstring szWide;
    szWide.reserve(sz.size());
    for (unsigned char ch : sz)
        szWide.push_back(static_cast<wchar_t>(ch));
    return szWide;
}

enum class ELineRead
{
    Line,    // a line was read (ended by LF, or the last line of the file)
    End,     // nothing left
    TooLong, // the line exceeds the line bound
};

// Reads the line at nPos up to the next LF (not stored) with at most nMax bytes of line content.
ELineRead ReadLine(const std::string& szData, size_t& nPos, std::string& szLine, size_t nMax, size_t& nTotal)
{
    szLine.clear();
    if (nPos >= szData.size())
        return ELineRead::End;
    for (; nPos < szData.size();)
    {
        const char ch = szData[nPos++];
        ++nTotal;
        if (ch == '\n')
            return ELineRead::Line;
        if (szLine.size() >= nMax)
            return ELineRead::TooLong;
        szLine.push_back(ch);
    }
    return ELineRead::Line;
}

} // namespace

const wchar_t* FieldName(int nFieldId)
{
    if (nFieldId < 0 || nFieldId >= static_cast<int>(sizeof(kFieldNames) / sizeof(kFieldNames[0])))
        return L"";
    return kFieldNames[nFieldId];
}

std::wstring LookupField(const FieldMap& fields, int nFirstId, int nSecondId)
{
    for (int nId : {nFirstId, nSecondId})
    {
        auto it = fields.find(FieldName(nId));
        if (it != fields.end())
            return it->second;
    }
    return std::wstring();
}

CFileParser::CFileParser(FieldMap& target, const std::wstring& szPath) : m_pTarget(&target), m_szPath(szPath)
{
    m_pTarget->clear();
}

bool CFileParser::Parse(std::wstring& szMessage)
{
    // One byte beyond the bound tells a file that is too long. A symbolic link, a FIFO or any other
    // file that is not a regular one is never read (nor waited for).
    platform::SFileContent content;
    if (!platform::ReadFilePrefix(m_szPath, kMaxFileBytes + 1, platform::kReadNoFollow, content))
    {
        szMessage += L"Stream has an error state. ";
        return false;
    }
    return ParseBytes(content.szBytes, szMessage);
}

bool CFileParser::ParseBytes(const std::string& szData, std::wstring& szMessage)
{
    bool bResult = true;
    size_t nPos = 0;

    wchar_t chDelimiter = 0; // decided by the first non-empty line
    size_t nTotal = 0;
    std::string szLine;
    for (;;)
    {
        ELineRead eRead = ReadLine(szData, nPos, szLine, kMaxLineBytes, nTotal);
        if (eRead == ELineRead::End)
            break;
        if (eRead != ELineRead::Line || nTotal > kMaxFileBytes)
        {
            szMessage += L"Stream has an error state. ";
            bResult = false;
            break;
        }
        if (!szLine.empty() && szLine.back() == '\r')
            szLine.pop_back();
        if (szLine.empty())
            continue; // empty lines carry no field and do not change the result

        std::wstring szWide = Widen(szLine);
        if (chDelimiter == 0)
            chDelimiter = szWide.find(L':') != std::wstring::npos ? L':' : L' ';
        size_t nPos = szWide.find(chDelimiter);
        if (nPos == std::wstring::npos)
        {
            szMessage += L"Delimiter wasn't found. ";
            bResult = false;
            continue;
        }
        // emplace keeps the first value of a repeated key
        m_pTarget->emplace(szWide.substr(0, nPos), Trim(szWide.substr(nPos + 1)));
    }
    return bResult;
}
