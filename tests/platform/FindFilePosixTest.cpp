// The directory search on Linux: names that the file system stores in any bytes (not only UTF-8) are
// matched and handed out intact.
#include "platform/FileSystem.h"
#include "platform/FileSystem_posix.h"
#include "platform/FindFile.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace platform;
using tests::WriteFile;

namespace
{

std::set<std::string> ListNativeNames(CFindFile& find, const std::wstring& szPattern)
{
    std::set<std::string> names;
    SFindData data;
    for (bool bFound = find.First(szPattern, data); bFound; bFound = find.Next(data))
        names.insert(NativePath(data.szName));
    return names;
}

} // namespace

TEST(FindFileStreamPosixTest, NamesInAnyBytesAreMatchedAndHandedOutIntact)
{
    CTempDir dir;
    const std::string szLatin1 = "caf\xE9.txt"; // not UTF-8
    const std::string szUtf8 = "\xC3\x84rger.TXT";
    for (const std::string& sz : {szLatin1, szUtf8, std::string("plain.txt"), std::string("other.pdf")})
        WriteFile(dir.Native(sz), "x");
    CFindFile find;
    EXPECT_EQ(ListNativeNames(find, dir.Wide("*.txt")),
              (std::set<std::string>{szLatin1, szUtf8, "plain.txt"}));
    EXPECT_EQ(ListNativeNames(find, dir.Wide("\xC3\xA4*")), (std::set<std::string>{szUtf8})); // ä matches Ä
    EXPECT_EQ(ListNativeNames(find, dir.Wide("*.pdf")), (std::set<std::string>{"other.pdf"}));
}
