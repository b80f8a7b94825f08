// Files of the data folder on Windows: the folder-naming file is refused once its access list lets
// others write it, and a data file held open by another writer can still be read.
#include "platform/DataFile.h"

#include "platform/SysError.h"
#include "platform/Windows_win.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <string>

using namespace platform;

namespace
{

// Adds an entry to the file's access list that lets Everyone write it.
bool GrantEveryoneWrite(const std::wstring& szPath)
{
    PACL pOld = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    std::wstring szName(szPath);
    if (::GetNamedSecurityInfoW(szName.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &pOld, nullptr, &pDescriptor) != ERROR_SUCCESS)
        return false;
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = FILE_GENERIC_WRITE;
    access.grfAccessMode = GRANT_ACCESS;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    wchar_t szEveryone[] = L"Everyone";
    access.Trustee.ptstrName = szEveryone;
    PACL pNew = nullptr;
    bool bDone = ::SetEntriesInAclW(1, &access, pOld, &pNew) == ERROR_SUCCESS &&
                 ::SetNamedSecurityInfoW(szName.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, pNew, nullptr) == ERROR_SUCCESS;
    ::LocalFree(pNew);
    ::LocalFree(pDescriptor);
    return bDone;
}

} // namespace

TEST(DataFileWinTest, TheFolderNamingFileIsRefusedWhenOthersMayWriteIt)
{
    CTempDir dir("trusted");
    tests::WriteFile(dir.Path() / "program", "");
    tests::WriteFile(dir.Path() / "tarvik.datadir", "C:\\ProgramData\\Tarvik\n");
    std::string szBytes;
    ASSERT_TRUE(ReadTrustedFile(dir.Wide("tarvik.datadir"), dir.Wide("program"), szBytes));
    EXPECT_EQ(szBytes, "C:\\ProgramData\\Tarvik\n");

    ASSERT_TRUE(GrantEveryoneWrite(dir.Wide("tarvik.datadir")));
    EXPECT_FALSE(ReadTrustedFile(dir.Wide("tarvik.datadir"), dir.Wide("program"), szBytes));
    EXPECT_EQ(platform::GetLastError(), kErrorAccessDenied);
    EXPECT_TRUE(szBytes.empty());
}

TEST(DataFileWinTest, AFileAnotherWriterHoldsOpenIsStillRead)
{
    CTempDir dir("data");
    tests::WriteFile(dir.Path() / "tarvik.ini", "settings");
    const std::wstring szPath = dir.Wide("tarvik.ini");
    // Another writer that shares reading and writing only.
    const HANDLE hWriter = ::CreateFileW(szPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hWriter, INVALID_HANDLE_VALUE);
    std::string szBytes;
    EXPECT_TRUE(ReadDataFile(szPath, szBytes));
    EXPECT_EQ(szBytes, "settings");
    EXPECT_TRUE(IsAcceptableDataFile(szPath));
    ::CloseHandle(hWriter);
}
