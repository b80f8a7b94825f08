// The portable part of the file-system layer: Windows wildcard matching.
#include "platform/FileSystem.h"

#include "platform/Encoding.h"

#include <vector>

namespace platform
{

namespace
{

enum class EToken
{
    Literal,
    Star,    // any run of characters
    DosStar, // '*' before '.': any run that does not take the name's last dot
    DosQm,   // '?': one character, or none at a dot or at the end
    DosDot,  // '.' before '?', '*' or the end: a dot, or nothing at the end of the name
};

struct SToken
{
    EToken eKind;
    wchar_t ch;
};

std::vector<SToken> Tokenize(const std::wstring& szPattern)
{
    std::vector<SToken> tokens;
    for (size_t i = 0; i < szPattern.size(); ++i)
    {
        const wchar_t ch = szPattern[i];
        const wchar_t next = i + 1 < szPattern.size() ? szPattern[i + 1] : L'\0';
        if (ch == L'*')
        {
            tokens.push_back({next == L'.' ? EToken::DosStar : EToken::Star, ch});
        }
        else if (ch == L'?')
        {
            tokens.push_back({EToken::DosQm, ch});
        }
        else if (ch == L'.' && (next == L'?' || next == L'*' || next == L'\0'))
        {
            tokens.push_back({EToken::DosDot, ch});
        }
        else
        {
            tokens.push_back({EToken::Literal, ToUpperChar(ch)});
        }
    }
    return tokens;
}

} // namespace

bool MatchesWildcard(const std::wstring& szPattern, const std::wstring& szName)
{
    const std::vector<SToken> tokens = Tokenize(szPattern);
    std::wstring szUpper = ToUpperText(szName);
    const size_t nTokens = tokens.size();
    const size_t nChars = szUpper.size();
    const size_t nLastDot = szUpper.rfind(L'.');

    // reach[t * (nChars + 1) + i]: token t can start at character i.
    std::vector<char> reach((nTokens + 1) * (nChars + 1), 0);
    auto at = [&](size_t t, size_t i) -> char& { return reach[t * (nChars + 1) + i]; };
    at(0, 0) = 1;
    for (size_t t = 0; t < nTokens; ++t)
    {
        const SToken& tok = tokens[t];
        for (size_t i = 0; i <= nChars; ++i)
        {
            if (!at(t, i))
            {
                continue;
            }
            switch (tok.eKind)
            {
            case EToken::Literal:
                if (i < nChars && szUpper[i] == tok.ch)
                {
                    at(t + 1, i + 1) = 1;
                }
                break;
            case EToken::Star:
                at(t + 1, i) = 1;
                if (i < nChars)
                {
                    at(t, i + 1) = 1;
                }
                break;
            case EToken::DosStar:
                at(t + 1, i) = 1;
                if (i < nChars && i != nLastDot)
                {
                    at(t, i + 1) = 1;
                }
                break;
            case EToken::DosQm:
                if (i < nChars && szUpper[i] != L'.')
                {
                    at(t + 1, i + 1) = 1;
                }
                else
                {
                    at(t + 1, i) = 1;
                }
                break;
            case EToken::DosDot:
                if (i < nChars && szUpper[i] == L'.')
                {
                    at(t + 1, i + 1) = 1;
                }
                else if (i == nChars)
                {
                    at(t + 1, i) = 1;
                }
                break;
            }
        }
    }
    return at(nTokens, nChars) != 0;
}

} // namespace platform
