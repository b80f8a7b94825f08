// The portable part of the file-system layer: Windows wildcard matching.
#include "platform/FileSystem.h"

#include "platform/WildcardPattern.h"

namespace platform
{

bool MatchesWildcard(const std::wstring& szPattern, const std::wstring& szName)
{
    return CWildcardPattern(szPattern).Matches(szName);
}

} // namespace platform
