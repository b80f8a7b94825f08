// The INI file accessor: creation, the one-time conversion of 8-bit files, failures during the
// conversion, and the mutex shared by INI files of the same name in other processes.
#include "config/CIniFile.h"
#include "config/CGlobalObjectsBuilder.h"
#include "log/CLogger.h"
#include "tests/config/ConfigTestSupport.h"
#include "tests/support/CTempDir.h"
#include "tests/support/Wine.h"

#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

using CIniFileTest = CConfigTest;

namespace
{

// A stream buffer that hands out the first bytes of its data and then fails as a broken disk would.
class CFailingBuffer : public std::streambuf
{
public:
    explicit CFailingBuffer(const std::string& szData) : m_szData(szData) {}

protected:
    int_type underflow() override
    {
        if (m_bHandedOut)
        {
            throw std::runtime_error("read failure");
        }
        m_bHandedOut = true;
        setg(m_szData.data(), m_szData.data(), m_szData.data() + m_szData.size());
        return traits_type::to_int_type(*gptr());
    }

private:
    std::string m_szData;
    bool m_bHandedOut = false;
};

} // namespace

TEST_F(CIniFileTest, MissingFileIsCreatedWithTheMarkOnly)
{
    {
        CIniFile ini(WidePath("tarvik.ini"));
        EXPECT_FALSE(ini.MutexExisted());
        EXPECT_EQ(ReadFile(NativePath("tarvik.ini")), "\xFF\xFE");

        CIniFile second(WidePath("tarvik.ini"));
        EXPECT_TRUE(second.MutexExisted());
        EXPECT_EQ(ReadFile(NativePath("tarvik.ini")), "\xFF\xFE");
    }

    CIniFile ini(WidePath("tarvik.ini"));
    EXPECT_TRUE(ini.WriteInt(L"General", L"Attempts", -12));
    EXPECT_TRUE(ini.WriteString(L"E-mail", L"EmSubject", L"Gr\u00FC\u00DFe \u20AC"));
    EXPECT_EQ(ini.ReadInt(L"general", L"attempts", 5), -12);
    EXPECT_EQ(ini.ReadString(L"E-mail", L"EmSubject", L""), L"Gr\u00FC\u00DFe \u20AC");
    EXPECT_EQ(ini.ReadString(L"E-mail", L"Missing", L"fallback"), L"fallback");
    EXPECT_EQ(ReadFile(NativePath("tarvik.ini")).substr(0, 2), "\xFF\xFE");
}

TEST_F(CIniFileTest, EightBitFileIsConvertedOnce)
{
    ASSERT_TRUE(WriteFile(NativePath("tarvik.ini.tmp"), "left over from a crash"));
    ASSERT_TRUE(WriteFile(NativePath("tarvik.ini"),
                          "[General]\r\nTxtInDir=/sp\xE4ol\r\nAttempts=7\n[E-mail]\r\nEmPort=2525\n"));

    CIniFile ini(WidePath("tarvik.ini"));
    // Each byte becomes the character of the same code, every line ends with CR LF, and the line
    // break at the end of the file gives one empty last line.
    const std::string szExpected =
        "\xFF\xFE" +
        Utf16Le(L"[General]\r\nTxtInDir=/sp\u00E4ol\r\nAttempts=7\r\n[E-mail]\r\nEmPort=2525\r\n\r\n");
    EXPECT_EQ(ReadFile(NativePath("tarvik.ini")), szExpected);
    EXPECT_FALSE(PathExists(NativePath("tarvik.ini.tmp")));
    EXPECT_EQ(ini.ReadString(L"General", L"TxtInDir", L""), L"/sp\u00E4ol");
    EXPECT_EQ(ini.ReadInt(L"E-mail", L"EmPort", 25), 2525);

    // A file that carries the mark is left alone.
    CIniFile again(WidePath("tarvik.ini"));
    EXPECT_EQ(ReadFile(NativePath("tarvik.ini")), szExpected);
}

TEST_F(CIniFileTest, ReadErrorDuringConversionKeepsTheFile)
{
    const std::string szOriginal = "[General]\r\nTxtInDir=/in\r\nAttempts=7\r\n[E-mail]\r\nEmPort=2525\r\n";
    ASSERT_TRUE(WriteFile(NativePath("tarvik.ini"), szOriginal));

    // The stream delivers the first line and part of the second, then fails.
    CFailingBuffer buffer(szOriginal.substr(0, 16));
    std::istream failing(&buffer);
    EXPECT_FALSE(CIniFile::ConvertStream(failing, WidePath("tarvik.ini")));
    EXPECT_EQ(ReadFile(NativePath("tarvik.ini")), szOriginal);
    EXPECT_FALSE(PathExists(NativePath("tarvik.ini.tmp")));

    // The same text read without failure converts.
    std::istringstream good(szOriginal);
    EXPECT_TRUE(CIniFile::ConvertStream(good, WidePath("tarvik.ini")));
    EXPECT_EQ(ReadFile(NativePath("tarvik.ini")).substr(0, 2), "\xFF\xFE");
    EXPECT_FALSE(PathExists(NativePath("tarvik.ini.tmp")));
}

TEST_F(CIniFileTest, UnreadableIniPathIsLeftAlone)
{
    // A directory in place of the file: it exists, but every read of it fails.
    std::filesystem::create_directory(NativePath("tarvik.ini"));
    ASSERT_TRUE(WriteFile(NativePath("tarvik.ini/keep"), "x"));

    CIniFile ini(WidePath("tarvik.ini"));
    EXPECT_TRUE(std::filesystem::is_directory(NativePath("tarvik.ini")));
    EXPECT_EQ(ReadFile(NativePath("tarvik.ini/keep")), "x");
    EXPECT_FALSE(PathExists(NativePath("tarvik.ini.tmp")));
    EXPECT_EQ(ini.ReadString(L"General", L"TxtInDir", L"default"), L"default");
}

TEST_F(CIniFileTest, ValuesAreCutTo4095Characters)
{
    ASSERT_TRUE(
        WriteFile(NativePath("tarvik.ini"),
                  "\xFF\xFE" + Utf16Le(L"[E-mail]\r\nEmSubject=" + std::wstring(5000, L's') + L"\r\n")));
    CIniFile ini(WidePath("tarvik.ini"));
    EXPECT_EQ(ini.ReadString(L"E-mail", L"EmSubject", L""), std::wstring(4095, L's'));
}

// Two processes in different directories whose INI files have the same name share one mutex.
TEST_F(CIniFileTest, SameFileNameSharesTheMutexAcrossProcesses)
{
    std::filesystem::create_directory(NativePath("a"));
    std::filesystem::create_directory(NativePath("b"));
    CIniFile ini(WidePath("a/tarvik.ini"));
    ASSERT_FALSE(ini.MutexExisted());

    std::string szLine;
    {
        CTestProcess probe;
        ASSERT_TRUE(StartProbe(probe, {"existed", NativePath("b/tarvik.ini")}));
        ASSERT_TRUE(probe.ReadLine(60000, szLine));
        EXPECT_EQ(szLine, "1");
        EXPECT_EQ(probe.Wait(), 0);
    }
    {
        CTestProcess probe;
        ASSERT_TRUE(StartProbe(probe, {"existed", NativePath("b/other.ini")}));
        ASSERT_TRUE(probe.ReadLine(60000, szLine));
        EXPECT_EQ(szLine, "0");
        EXPECT_EQ(probe.Wait(), 0);
    }

    // While this process holds the mutex, the other process cannot touch its own file.
    platform::HANDLE hMutex = CGlobalObjectsBuilder().CreateMutex(L"tarvik.ini");
    ASSERT_EQ(platform::WaitForSingleObject(hMutex, 60000), platform::kWaitObject0);
    CTestProcess writer;
    ASSERT_TRUE(StartProbe(writer, {"write", NativePath("b/tarvik.ini"), "Written", "yes"}));
    EXPECT_FALSE(writer.ReadLine(500, szLine)) << szLine;
    ASSERT_TRUE(platform::ReleaseMutexObject(hMutex));
    ASSERT_TRUE(writer.ReadLine(60000, szLine));
    EXPECT_EQ(szLine, "done 1");
    EXPECT_EQ(writer.Wait(), 0);
    platform::CloseHandleObject(hMutex);

    CIniFile written(WidePath("b/tarvik.ini"));
    EXPECT_EQ(written.ReadString(L"General", L"Written", L""), L"yes");
}

namespace
{

// What the tests' own log (the default log of this test program) holds from nFrom on.
std::string LogSince(size_t nFrom)
{
    const std::string szLog = ReadFile(std::filesystem::path(CLogger::DefaultPath()).string());
    return szLog.size() > nFrom ? szLog.substr(nFrom) : std::string();
}

size_t LogSize()
{
    std::error_code error;
    const auto nSize = std::filesystem::file_size(std::filesystem::path(CLogger::DefaultPath()), error);
    return error ? 0 : static_cast<size_t>(nSize);
}

} // namespace

// Another process that keeps the INI mutex (a hung tray program, or anyone who may open the object)
// costs one bounded wait, logged once; the settings are read and written without the mutex.
TEST_F(CIniFileTest, AMutexHeldElsewhereCostsOneBoundedWaitAndIsLogged)
{
    ASSERT_TRUE(WriteFile(NativePath("tarvik.ini"), "\xFF\xFE" + Utf16Le(L"[General]\r\nTxtInDir=/in/\r\n")));
    CTestProcess holder;
    std::string szLine;
    ASSERT_TRUE(StartProbe(holder, {"hold", NativePath("tarvik.ini")}));
    ASSERT_TRUE(holder.ReadLine(60000, szLine));
    ASSERT_EQ(szLine, "held");

    const size_t nLogBefore = LogSize();
    CIniFile::SetLockBound(300);
    {
        CIniFile ini(WidePath("tarvik.ini"));
        EXPECT_EQ(ini.ReadString(L"General", L"TxtInDir", L""), L"/in/");
        EXPECT_TRUE(ini.WriteString(L"General", L"Attempts", L"7"));
        EXPECT_EQ(ini.ReadInt(L"General", L"Attempts", 5), 7);
    }
    CIniFile::SetLockBound(CIniFile::kLockBoundMs);
    const std::string szLog = LogSince(nLogBefore);
    size_t nRecords = 0;
    for (size_t nPos = 0; (nPos = szLog.find("was not obtained within", nPos)) != std::string::npos; ++nPos)
        ++nRecords;
    EXPECT_EQ(nRecords, 1u) << szLog;
    EXPECT_NE(szLog.find("1,1014,INI file error,"), std::string::npos) << szLog;
}

TEST_F(CIniFileTest, LinksPlantedAsTheIniFileAreNeitherReadNorWrittenThrough)
{
    const std::string szVictim = "\xFF\xFE" + Utf16Le(L"[General]\r\nTxtInDir=/private/\r\n");
    ASSERT_TRUE(WriteFile(NativePath("victim.ini"), szVictim));
    for (bool bHard : {true, false})
    {
        std::filesystem::remove(NativePath("tarvik.ini"));
        if (bHard)
            std::filesystem::create_hard_link(NativePath("victim.ini"), NativePath("tarvik.ini"));
        else
        {
            TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW reports success without making a link");
            ASSERT_TRUE(tests::MakeSymbolicLink(NativePath("victim.ini"), NativePath("tarvik.ini")));
        }
        CIniFile ini(WidePath("tarvik.ini"));
        EXPECT_EQ(ini.ReadString(L"General", L"TxtInDir", L"default"), L"default") << bHard;
        EXPECT_FALSE(ini.WriteString(L"General", L"TxtInDir", L"/elsewhere/")) << bHard;
        EXPECT_EQ(ReadFile(NativePath("victim.ini")), szVictim) << bHard;
    }
}
