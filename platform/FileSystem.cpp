// The portable part of the file-system layer: Windows wildcard matching, the names of file kinds and
// whole-file reads over the bounded read.
#include "platform/FileSystem.h"

#include "platform/WildcardPattern.h"

#include <cstdint>
#include <utility>

namespace platform
{

bool MatchesWildcard(const std::wstring& szPattern, const std::wstring& szName)
{
    return CWildcardPattern(szPattern).Matches(szName);
}

const wchar_t* FileKindText(EFileKind eKind)
{
    switch (eKind)
    {
    case EFileKind::Missing:
        return L"missing";
    case EFileKind::Regular:
        return L"a regular file";
    case EFileKind::Directory:
        return L"a directory";
    case EFileKind::SymbolicLink:
        return L"a symbolic link";
    case EFileKind::Fifo:
        return L"a FIFO";
    case EFileKind::Socket:
        return L"a socket";
    case EFileKind::Device:
        return L"a device";
    case EFileKind::Other:
        break;
    }
    return L"a special file";
}

bool ReadWholeFile(const std::wstring& szPath, std::string& szBytes)
{
    SFileContent content;
    const bool bRead = ReadFilePrefix(szPath, SIZE_MAX, 0, content);
    szBytes = std::move(content.szBytes);
    return bRead;
}

} // namespace platform
