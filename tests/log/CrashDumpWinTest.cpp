// Crash dumps on Windows: the dump is a minidump of the debug-help library that names the faulting
// thread, its exception and the probe's module, and the dump and its folder are the process user's
// alone.
#include "tests/log/CrashDumpTest.h"

#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include "platform/Windows_win.h"

#include <aclapi.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <regex>

namespace fs = std::filesystem;

namespace
{

// The parts of a minidump file that the tests read, by the published layout of the format.
class CMiniDumpFile
{
public:
    explicit CMiniDumpFile(const fs::path& dump) : m_szBytes(tests::ReadFile(dump)) {}

    bool IsMiniDump() const { return m_szBytes.compare(0, 4, "MDMP") == 0 && (U32(4) & 0xFFFF) == 0xa793; }

    // The offset of the first stream of that type; 0 when there is none.
    uint32_t Stream(uint32_t nType) const
    {
        const uint32_t nCount = U32(8);
        const uint32_t nDirectory = U32(12);
        for (uint32_t i = 0; i < nCount; ++i)
            if (U32(nDirectory + 12 * i) == nType)
                return U32(nDirectory + 12 * i + 8);
        return 0;
    }

    uint32_t U32(size_t nOffset) const { return Read<uint32_t>(nOffset); }
    uint64_t U64(size_t nOffset) const { return Read<uint64_t>(nOffset); }

    // A MINIDUMP_STRING (its length in bytes, then UTF-16 text) at the offset.
    std::wstring String(size_t nOffset) const
    {
        std::wstring sz;
        const uint32_t nBytes = U32(nOffset);
        for (uint32_t i = 0; i + 1 < nBytes; i += 2)
            sz += static_cast<wchar_t>(Read<uint16_t>(nOffset + 4 + i));
        return sz;
    }

private:
    template <typename T> T Read(size_t nOffset) const
    {
        T value{};
        if (nOffset + sizeof(T) <= m_szBytes.size())
            std::memcpy(&value, m_szBytes.data() + nOffset, sizeof(T));
        return value;
    }

    std::string m_szBytes;
};

TEST_F(CrashDumpTest, TheDumpNamesTheFaultingThreadItsExceptionAndTheModule)
{
    SetDumpType(L"0");
    ASSERT_EQ(Start({"null"}).Wait(), kEndedByAccessViolation);
    const std::vector<fs::path> dumps = Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    std::smatch match;
    const std::string szName = dumps[0].filename().string();
    ASSERT_TRUE(std::regex_match(szName, match, std::regex(R"(coredump-(\d+)-(\d+)-(\d{17})\.dmp)")));
    const uint32_t nThread = static_cast<uint32_t>(std::stoul(match[2].str()));

    const CMiniDumpFile dump(dumps[0]);
    ASSERT_TRUE(dump.IsMiniDump());
    const uint32_t nException = dump.Stream(6);
    ASSERT_NE(nException, 0u);
    EXPECT_EQ(dump.U32(nException), nThread) << "the thread of the name faulted";
    EXPECT_EQ(dump.U32(nException + 8), 0xC0000005u) << "an access violation";
    const uint64_t nFaultAddress = dump.U64(nException + 24);

    const uint32_t nThreads = dump.Stream(3);
    ASSERT_NE(nThreads, 0u);
    std::vector<uint32_t> threads;
    for (uint32_t i = 0; i < dump.U32(nThreads); ++i)
        threads.push_back(dump.U32(nThreads + 4 + 48 * i));
    EXPECT_GE(threads.size(), 2u) << "the probe's waiting thread too";
    EXPECT_NE(std::find(threads.begin(), threads.end(), nThread), threads.end());
    EXPECT_NE(dump.Stream(5), 0u) << "the threads' stacks";
    EXPECT_EQ(dump.Stream(9), 0u) << "no full memory for type 0";

    // The fault lies in the probe's own code.
    const uint32_t nModules = dump.Stream(4);
    ASSERT_NE(nModules, 0u);
    bool bInProbe = false;
    for (uint32_t i = 0; i < dump.U32(nModules); ++i)
    {
        const size_t nModule = nModules + 4 + 108 * i;
        std::wstring szModule = dump.String(dump.U32(nModule + 20));
        std::transform(szModule.begin(), szModule.end(), szModule.begin(), ::towlower);
        const uint64_t nBase = dump.U64(nModule);
        if (szModule.size() >= 15 && szModule.compare(szModule.size() - 15, 15, L"crash_probe.exe") == 0)
            bInProbe = nFaultAddress >= nBase && nFaultAddress < nBase + dump.U32(nModule + 8);
    }
    EXPECT_TRUE(bInProbe);
    const uint32_t nSystem = dump.Stream(7);
    ASSERT_NE(nSystem, 0u);
    EXPECT_EQ(dump.U32(nSystem) & 0xFFFF, 9u) << "x64";
}

// True when the object's access list is protected and grants the user alone, nothing but full access.
::testing::AssertionResult GrantsTheUserAlone(const fs::path& path, PSID pUser)
{
    PACL pAcl = nullptr;
    PSECURITY_DESCRIPTOR pSecurity = nullptr;
    if (::GetNamedSecurityInfoW(path.wstring().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &pAcl, nullptr, &pSecurity) != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "no security information";
    SECURITY_DESCRIPTOR_CONTROL nControl = 0;
    DWORD nRevision = 0;
    ::GetSecurityDescriptorControl(pSecurity, &nControl, &nRevision);
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    ACE_HEADER* pAce = nullptr;
    if ((nControl & SE_DACL_PROTECTED) == 0 || pAcl == nullptr || pAcl->AceCount != 1 ||
        !::GetAce(pAcl, 0, reinterpret_cast<void**>(&pAce)) || pAce->AceType != ACCESS_ALLOWED_ACE_TYPE ||
        !::EqualSid(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(pAce)->SidStart, pUser) ||
        (reinterpret_cast<ACCESS_ALLOWED_ACE*>(pAce)->Mask & FILE_ALL_ACCESS) != FILE_ALL_ACCESS)
        result = ::testing::AssertionFailure() << path.string() << " is not the user's alone";
    ::LocalFree(pSecurity);
    return result;
}

TEST_F(CrashDumpTest, TheDumpAndItsFolderAreTheUsersAlone)
{
    TARVIK_SKIP_UNDER_WINE(
        "Wine keeps no access list of a file: it reads back one made up from the Unix mode bits");
    SetDumpType(L"0");
    ASSERT_EQ(Start({"null"}).Wait(), kEndedByAccessViolation);
    const std::vector<fs::path> dumps = Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    HANDLE hToken = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken));
    alignas(8) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD nSize = 0;
    const BOOL bUser = ::GetTokenInformation(hToken, TokenUser, user, sizeof(user), &nSize);
    ::CloseHandle(hToken);
    ASSERT_TRUE(bUser);
    PSID pUser = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
    EXPECT_TRUE(GrantsTheUserAlone(dumps[0], pUser));
    EXPECT_TRUE(GrantsTheUserAlone(m_dir / "dumps", pUser));
}

} // namespace

namespace
{

// A symbolic link in place of the dumps folder is not followed: no dump is written where it points.
TEST_F(CrashDumpTest, ALinkInPlaceOfTheDumpsFolderIsNotFollowed)
{
    TARVIK_SKIP_UNDER_WINE(
        "Wine makes no symbolic links: CreateSymbolicLinkW reports success and makes none");
    const fs::path elsewhere = m_dir / "elsewhere";
    fs::create_directories(elsewhere);
    if (!::CreateSymbolicLinkW((m_dir / "dumps").wstring().c_str(), elsewhere.wstring().c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        GTEST_SKIP() << "this account may not make symbolic links (error " << ::GetLastError() << ")";
    SetDumpType(L"0");
    ASSERT_EQ(Start({"null"}).Wait(), kEndedByAccessViolation);
    EXPECT_TRUE(tests::ListDirectory(elsewhere).empty());
    EXPECT_NE(::GetFileAttributesW((m_dir / "dumps").wstring().c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u)
        << "the link is left as it is";
}

} // namespace
