// Windows' wildcard match of file names, compiled once for many names: * and ? with the DOS rules
// for dots, without regard to letter case ("*.*" matches every name, "*." names without a dot).
#pragma once

#include <string>
#include <vector>

namespace platform
{

class CWildcardPattern
{
public:
    explicit CWildcardPattern(const std::wstring& szPattern);

    // Whether the name matches.
    bool Matches(const std::wstring& szName) const;

    // Whether the pattern holds only ASCII characters, so that MatchesAscii may be used.
    bool IsAscii() const { return m_bAscii; }
    // The match of a name given as ASCII bytes (each byte below 0x80); only for an ASCII pattern.
    // Gives the same result as Matches on the same name.
    bool MatchesAscii(const char* pName, size_t nLength) const;

private:
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
        wchar_t ch; // upper case, for literals
    };

    template <typename TChar> bool Match(const TChar* pUpper, size_t nChars) const;

    std::vector<SToken> m_tokens;
    bool m_bAscii = true;
    mutable std::vector<char> m_reach; // scratch of Match
};

} // namespace platform
