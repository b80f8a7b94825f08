// Windows wildcard matching of file names.
#include "platform/WildcardPattern.h"

#include "platform/Encoding.h"

namespace platform
{

CWildcardPattern::CWildcardPattern(const std::wstring& szPattern)
{
    for (size_t i = 0; i < szPattern.size(); ++i)
    {
        const wchar_t ch = szPattern[i];
        const wchar_t next = i + 1 < szPattern.size() ? szPattern[i + 1] : L'\0';
        if (static_cast<uint32_t>(ch) >= 0x80)
            m_bAscii = false;
        if (ch == L'*')
            m_tokens.push_back({next == L'.' ? EToken::DosStar : EToken::Star, ch});
        else if (ch == L'?')
            m_tokens.push_back({EToken::DosQm, ch});
        else if (ch == L'.' && (next == L'?' || next == L'*' || next == L'\0'))
            m_tokens.push_back({EToken::DosDot, ch});
        else
            m_tokens.push_back({EToken::Literal, ToUpperChar(ch)});
    }
}

bool CWildcardPattern::Matches(const std::wstring& szName) const
{
    const std::wstring szUpper = ToUpperText(szName);
    return Match(szUpper.data(), szUpper.size());
}

bool CWildcardPattern::MatchesAscii(const char* pName, size_t nLength) const
{
    // Names are short; a longer one takes the general way.
    char upper[256];
    if (nLength > sizeof(upper))
    {
        std::wstring szName(pName, pName + nLength);
        return Matches(szName);
    }
    for (size_t i = 0; i < nLength; ++i)
    {
        const char ch = pName[i];
        upper[i] = ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
    }
    return Match(upper, nLength);
}

template <typename TChar> bool CWildcardPattern::Match(const TChar* pUpper, size_t nChars) const
{
    const size_t nTokens = m_tokens.size();
    size_t nLastDot = static_cast<size_t>(-1);
    for (size_t i = 0; i < nChars; ++i)
    {
        if (pUpper[i] == '.')
            nLastDot = i;
    }

    // reach[t * (nChars + 1) + i]: token t can start at character i.
    m_reach.assign((nTokens + 1) * (nChars + 1), 0);
    auto at = [&](size_t t, size_t i) -> char& { return m_reach[t * (nChars + 1) + i]; };
    at(0, 0) = 1;
    for (size_t t = 0; t < nTokens; ++t)
    {
        const SToken& tok = m_tokens[t];
        for (size_t i = 0; i <= nChars; ++i)
        {
            if (!at(t, i))
                continue;
            switch (tok.eKind)
            {
            case EToken::Literal:
                if (i < nChars && static_cast<wchar_t>(pUpper[i]) == tok.ch)
                    at(t + 1, i + 1) = 1;
                break;
            case EToken::Star:
                at(t + 1, i) = 1;
                if (i < nChars)
                    at(t, i + 1) = 1;
                break;
            case EToken::DosStar:
                at(t + 1, i) = 1;
                if (i < nChars && i != nLastDot)
                    at(t, i + 1) = 1;
                break;
            case EToken::DosQm:
                if (i < nChars && pUpper[i] != '.')
                    at(t + 1, i + 1) = 1;
                else
                    at(t + 1, i) = 1;
                break;
            case EToken::DosDot:
                if (i < nChars && pUpper[i] == '.')
                    at(t + 1, i + 1) = 1;
                else if (i == nChars)
                    at(t + 1, i) = 1;
                break;
            }
        }
    }
    return at(nTokens, nChars) != 0;
}

} // namespace platform
