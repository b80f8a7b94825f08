// Crash dumps of a real program that links the handler and dies of a fault, on every system: whether
// a file is written, its name, that it is a minidump of the fault, full memory when asked, names kept
// apart, and how many dumps are kept.
#include "tests/log/CrashDumpTest.h"

#include "log/CCrashDumpHandler.h"
#include "tests/support/TestFiles.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <regex>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{
const wchar_t* const kKey = L"Software\\Nordal\\Halvane";
const wchar_t* const kValue = L"DumpType";
} // namespace

CrashDumpTest::CrashDumpTest()
    : m_environment(CIsolatedEnvironment::kHeadless), m_temp("crash"), m_dir(m_temp.Path()),
      m_probe(m_dir / fs::path(CRASH_PROBE).filename())
{
}

void CrashDumpTest::SetUp()
{
    fs::copy_file(CRASH_PROBE, m_probe);
    ASSERT_EQ(m_key.Create(platform::EHive::LocalMachine, kKey, platform::kRegAllAccess), 0u);
    std::wstring szText;
    uint32_t nNumber = 0;
    if (m_key.QueryString(kValue, szText) == 0)
        m_savedText = szText;
    else if (m_key.QueryDword(kValue, nNumber) == 0)
        m_savedNumber = nNumber;
    m_key.DeleteValue(kValue);
}

void CrashDumpTest::TearDown()
{
    m_children.clear();
    if (m_savedText)
        m_key.SetString(kValue, *m_savedText);
    else if (m_savedNumber)
        m_key.SetDword(kValue, *m_savedNumber);
    else
        m_key.DeleteValue(kValue);
}

void CrashDumpTest::SetDumpType(const std::wstring& szText)
{
    ASSERT_EQ(m_key.SetString(kValue, szText), 0u);
}

void CrashDumpTest::SetDumpTypeNumber(uint32_t nType)
{
    ASSERT_EQ(m_key.SetDword(kValue, nType), 0u);
}

CTestProcess& CrashDumpTest::Start(const std::vector<std::string>& args, bool bPipeOutput,
                                   const std::string& szProgram)
{
    CTestProcess& process = m_children.emplace_back();
    std::vector<std::string> vArgs = {szProgram.empty() ? m_probe.string() : szProgram};
    vArgs.insert(vArgs.end(), args.begin(), args.end());
    CTestProcess::SOptions options;
    options.m_workingDir = m_dir;
    options.m_bPipeOutput = bPipeOutput;
    EXPECT_TRUE(process.Start(vArgs, options)) << process.Error();
    return process;
}

std::vector<fs::path> CrashDumpTest::Dumps(const fs::path& folder) const
{
    std::vector<fs::path> dumps;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder.empty() ? m_dir / "dumps" : folder, error))
        if (entry.path().filename().string().rfind("coredump-", 0) == 0)
            dumps.push_back(entry.path());
    return dumps;
}

std::vector<uint32_t> CrashDumpTest::StreamTypes(const fs::path& dump)
{
    std::ifstream in(dump, std::ios::binary);
    uint32_t header[4] = {};
    in.read(reinterpret_cast<char*>(header), sizeof(header));
    std::vector<uint32_t> types;
    if (!in || header[0] != 0x504d444d || (header[1] & 0xFFFF) != 0xa793)
        return types;
    in.seekg(header[3]);
    for (uint32_t i = 0; i < header[2]; ++i)
    {
        uint32_t entry[3] = {};
        in.read(reinterpret_cast<char*>(entry), sizeof(entry));
        types.push_back(entry[0]);
    }
    return types;
}

namespace
{

bool Has(const std::vector<uint32_t>& types, uint32_t nType)
{
    return std::count(types.begin(), types.end(), nType) > 0;
}

TEST(CrashDumpNameTest, NameAndDumpType)
{
    char szName[260];
    const CCrashDumpHandler::STime t{2026, 3, 4, 5, 6, 7, 8};
    ASSERT_GT(CCrashDumpHandler::FormatDumpName(szName, sizeof(szName), 4242, 4243, t), 0u);
    EXPECT_STREQ(szName, "coredump-4242-4243-20260304050607008.dmp");
    EXPECT_EQ(CCrashDumpHandler::FormatDumpName(szName, 20, 4242, 4243, t), 0u) << "too small a buffer";

    const auto tm = CCrashDumpHandler::BreakDownTime(951782400000LL + 3723004, 3600); // 2000-02-29 UTC
    EXPECT_EQ(
        (std::vector<int>{tm.nYear, tm.nMonth, tm.nDay, tm.nHour, tm.nMinute, tm.nSecond, tm.nMillisecond}),
        (std::vector<int>{2000, 2, 29, 2, 2, 3, 4}));

    auto parse = [](const std::string& sz, uint32_t& n)
    { return CCrashDumpHandler::ParseDumpType(sz.data(), sz.size(), n); };
    uint32_t n = 99;
    EXPECT_TRUE(parse("2\n", n));
    EXPECT_EQ(n, 2u);
    EXPECT_TRUE(parse("  17abc", n));
    EXPECT_EQ(n, 17u);
    EXPECT_TRUE(parse("junk", n));
    EXPECT_EQ(n, 0u) << "unreadable text gives 0";
    EXPECT_TRUE(parse("#type=REG_DWORD\n6\n", n));
    EXPECT_EQ(n, 6u) << "a number value reads as its number";
    EXPECT_FALSE(parse("#type=REG_BINARY\n6\n", n));
}

TEST_F(CrashDumpTest, NoDumpTypeWritesNothing)
{
    EXPECT_EQ(Start({"null"}).Wait(), kEndedByAccessViolation);
    EXPECT_TRUE(Dumps().empty());
}

// The dump of a fault: named after the process, the thread and the local day, a minidump with the
// threads, the modules and the fault, and without the whole memory unless the type asks for it.
TEST_F(CrashDumpTest, AFaultWritesANamedMinidumpOfIt)
{
    SetDumpType(L"0");
    const auto before = std::chrono::system_clock::now();
    CTestProcess& probe = Start({"null"});
    const int nPid = probe.Pid();
    ASSERT_EQ(probe.Wait(), kEndedByAccessViolation) << "the default handling still ends the process";
    std::vector<fs::path> dumps = Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    std::smatch match;
    const std::string szName = dumps[0].filename().string();
    ASSERT_TRUE(std::regex_match(szName, match, std::regex(R"(coredump-(\d+)-(\d+)-(\d{17})\.dmp)")));
    EXPECT_EQ(match[1].str(), std::to_string(nPid));
    const time_t now = std::chrono::system_clock::to_time_t(before);
    char szDay[16];
    std::strftime(szDay, sizeof(szDay), "%Y%m%d", std::localtime(&now));
    EXPECT_EQ(match[3].str().substr(0, 8), szDay);
    const std::vector<uint32_t> types = StreamTypes(dumps[0]);
    for (uint32_t nType : {3u, 4u, 6u, 7u}) // threads, modules, the exception, the system
        EXPECT_TRUE(Has(types, nType)) << "stream " << nType;
    EXPECT_FALSE(Has(types, 9u)) << "no full memory for type 0";
    fs::remove(dumps[0]);

    SetDumpTypeNumber(2); // full memory
    ASSERT_EQ(Start({"illegal"}).Wait(), kEndedByIllegalInstruction);
    dumps = Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_TRUE(Has(StreamTypes(dumps[0]), 9u)) << "full memory";
}

TEST_F(CrashDumpTest, TwoCrashesAtOnceGetTwoNames)
{
    SetDumpType(L"0");
    // Both crash at the same instant: the process ids keep the names apart.
    const long long nAt = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count() +
                          300;
    CTestProcess& first = Start({"null", std::to_string(nAt)});
    CTestProcess& second = Start({"null", std::to_string(nAt)});
    EXPECT_EQ(first.Wait(), kEndedByAccessViolation);
    EXPECT_EQ(second.Wait(), kEndedByAccessViolation);
    const std::vector<fs::path> dumps = Dumps();
    ASSERT_EQ(dumps.size(), 2u);
    EXPECT_NE(dumps[0].filename(), dumps[1].filename());
}

TEST_F(CrashDumpTest, OnlyTheNewestDumpsAreKept)
{
    SetDumpType(L"0");
    fs::create_directories(m_dir / "dumps");
    const auto old = fs::file_time_type::clock::now() - 48h;
    for (int i = 0; i < 6; ++i)
    {
        const fs::path dump =
            m_dir / "dumps" / ("coredump-1-1-2020010100000000" + std::to_string(i) + ".dmp");
        tests::WriteFile(dump, "old");
        fs::last_write_time(dump, old + std::chrono::minutes(i));
    }
    tests::WriteFile(m_dir / "dumps/notes.txt", "not a dump");
    const int nPid = Start({"null"}).Pid();
    EXPECT_EQ(m_children.back().Wait(), kEndedByAccessViolation);
    std::vector<std::string> names;
    for (const fs::path& dump : Dumps())
        names.push_back(dump.filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), CCrashDumpHandler::kKeptDumps);
    EXPECT_EQ(names[0], "coredump-1-1-20200101000000002.dmp") << "the two oldest went";
    EXPECT_EQ(names.back().rfind("coredump-" + std::to_string(nPid) + "-", 0), 0u) << "the new one stays";
    EXPECT_TRUE(fs::exists(m_dir / "dumps/notes.txt"));
}

} // namespace
