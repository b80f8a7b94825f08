// File validation: the records' looks at a file over time, the document check on real TIFF files,
// and the forwarding of record changes to the directory monitor's callback.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "tests/documents/TiffTestFiles.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/TestFiles.h"
#include "watch/CDirMonFileStatus.h"
#include "watch/CDocInfo.h"
#include "watch/CFileValidatior.h"
#include "watch/IDirectoryMonitor.h"

namespace
{

// A validator whose answer the test sets; counts its calls.
class CFakeValidator : public IFileValidatior
{
public:
    bool Validate(const wchar_t* szPath, int& nPages, std::wstring& szError) override
    {
        ++m_nCalls;
        m_szPath = szPath;
        if (m_bResult)
            nPages = m_nPages;
        if (!m_szError.empty())
            szError = m_szError;
        return m_bResult;
    }

    bool m_bResult = true;
    int m_nPages = 2;
    std::wstring m_szError;
    int m_nCalls = 0;
    std::wstring m_szPath;
};

bool StartsWith(const std::wstring& szText, const std::wstring& szStart)
{
    return szText.compare(0, szStart.size(), szStart) == 0;
}

bool EndsWith(const std::wstring& szText, const std::wstring& szEnd)
{
    return szText.size() >= szEnd.size() &&
           szText.compare(szText.size() - szEnd.size(), szEnd.size(), szEnd) == 0;
}

class ValidationTest : public ::testing::Test
{
protected:
    void Write(const std::string& szName, size_t nBytes, std::ios::openmode mode = std::ios::trunc)
    {
        std::ofstream file(m_dir.Native(szName), std::ios::binary | mode);
        file << std::string(nBytes, 'x');
    }

    platform::SFindData Entry(const std::string& szName)
    {
        platform::CFindFile find;
        platform::SFindData data;
        EXPECT_TRUE(find.First(m_dir.Wide(szName), data));
        return data;
    }

    // Moves the record's start back, as if it had been made nMilliseconds ago.
    static void Age(CDocInfo& info, uint32_t nMilliseconds) { info.m_nStarted -= nMilliseconds; }

    CIsolatedEnvironment m_env;
    const CTempDir& m_dir = m_env.Directory();
    CFakeValidator m_validator;
};

TEST(ElapsedText, SecondsWithTwoDigitsAndMillisecondsWithThree)
{
    EXPECT_EQ(L"(05.123sec). ", CDocInfo::ElapsedText(5123));
    EXPECT_EQ(L"(00.007sec). ", CDocInfo::ElapsedText(7));
    EXPECT_EQ(L"(123.456sec). ", CDocInfo::ElapsedText(123456));
}

TEST_F(ValidationTest, ConstructionTakesTheFirstLook)
{
    Write("a.tif", 2000);
    const platform::SFindData entry = Entry("a.tif");
    CDocInfo info(m_dir.Wide("a.tif"), entry, &m_validator);
    EXPECT_EQ(1, m_validator.m_nCalls);
    EXPECT_EQ(m_dir.Wide("a.tif"), m_validator.m_szPath);
    EXPECT_TRUE(info.m_bValid);
    EXPECT_TRUE(info.m_bChecked);
    EXPECT_EQ(CDocInfo::kStatusPending, info.m_nStatus);
    EXPECT_EQ(2000u, info.m_nSize);
    EXPECT_EQ(2, info.m_nPages);
    EXPECT_EQ(info.m_nStarted, info.m_nLastCheck);

    m_validator.m_bResult = false;
    CDocInfo failed(m_dir.Wide("a.tif"), entry, &m_validator);
    EXPECT_FALSE(failed.m_bValid);
    EXPECT_EQ(CDocInfo::kStatusPending, failed.m_nStatus);
    CDocInfo unvalidated(m_dir.Wide("a.tif"), entry, nullptr);
    EXPECT_TRUE(unvalidated.m_bValid);
}

TEST_F(ValidationTest, SteadyFilePassesOnTheSecondLook)
{
    Write("a.tif", 2000);
    CDocInfo info(m_dir.Wide("a.tif"), Entry("a.tif"), &m_validator);
    m_validator.m_nPages = 7;
    EXPECT_TRUE(info.Check(&m_validator, 60000, 0));
    EXPECT_EQ(CDocInfo::kStatusPassed, info.m_nStatus);
    EXPECT_TRUE(info.m_bValid);
    EXPECT_EQ(7, info.m_nPages);
    EXPECT_EQ(2, m_validator.m_nCalls);

    CDocInfo unvalidated(m_dir.Wide("a.tif"), Entry("a.tif"), nullptr);
    EXPECT_TRUE(unvalidated.Check(nullptr, 60000, 0));
    EXPECT_EQ(CDocInfo::kStatusPassed, unvalidated.m_nStatus);
}

TEST_F(ValidationTest, ChecksWithinTheIntervalDoNothing)
{
    Write("a.tif", 2000);
    CDocInfo info(m_dir.Wide("a.tif"), Entry("a.tif"), &m_validator);
    const uint32_t nLastCheck = info.m_nLastCheck;
    EXPECT_FALSE(info.Check(&m_validator, 60000, 600000));
    EXPECT_FALSE(info.m_bChecked);
    EXPECT_EQ(nLastCheck, info.m_nLastCheck);
    EXPECT_EQ(1, m_validator.m_nCalls);
    EXPECT_TRUE(info.m_szMessage.empty());
    EXPECT_EQ(CDocInfo::kStatusPending, info.m_nStatus);
}

TEST_F(ValidationTest, ZeroSizeAtTheFirstLookNeedsTwoMoreLooks)
{
    Write("a.tif", 0);
    const platform::SFindData entry = Entry("a.tif");
    Write("a.tif", 3000);
    CDocInfo info(m_dir.Wide("a.tif"), entry, &m_validator);
    EXPECT_FALSE(info.Check(&m_validator, 60000, 0));
    EXPECT_TRUE(StartsWith(info.m_szMessage, L"Zero size file (")) << info.m_szMessage.c_str();
    EXPECT_TRUE(EndsWith(info.m_szMessage, L"sec). Continue validating..."));
    EXPECT_EQ(3000u, info.m_nSize);
    EXPECT_TRUE(info.Check(&m_validator, 60000, 0));
    EXPECT_EQ(CDocInfo::kStatusPassed, info.m_nStatus);
}

TEST_F(ValidationTest, GrowingFileWaitsUntilItsSizeHolds)
{
    Write("a.tif", 2000);
    CDocInfo info(m_dir.Wide("a.tif"), Entry("a.tif"), &m_validator);
    Write("a.tif", 500, std::ios::app);
    EXPECT_FALSE(info.Check(&m_validator, 60000, 0));
    EXPECT_TRUE(StartsWith(info.m_szMessage, L"The file is growing (")) << info.m_szMessage.c_str();
    EXPECT_TRUE(EndsWith(info.m_szMessage, L"Continue validating..."));
    EXPECT_EQ(2500u, info.m_nSize);
    EXPECT_EQ(1, m_validator.m_nCalls);
    EXPECT_TRUE(info.Check(&m_validator, 60000, 0));
    EXPECT_EQ(CDocInfo::kStatusPassed, info.m_nStatus);
}

TEST_F(ValidationTest, TimeoutEndsTheRecordWithTheTimeoutSentence)
{
    Write("a.tif", 2000);
    {
        CDocInfo info(m_dir.Wide("a.tif"), Entry("a.tif"), &m_validator);
        Age(info, 5000);
        EXPECT_TRUE(info.Check(&m_validator, 1000, 0));
        EXPECT_EQ(CDocInfo::kStatusFailed, info.m_nStatus);
        EXPECT_FALSE(info.m_bValid);
        EXPECT_EQ(L"Validation was not succeeded in 1 seconds.", info.m_szMessage);
    }
    {
        CDocInfo info(m_dir.Wide("a.tif"), Entry("a.tif"), &m_validator);
        Write("a.tif", 10, std::ios::app);
        EXPECT_FALSE(info.Check(&m_validator, 60000, 0));
        Write("a.tif", 10, std::ios::app);
        Age(info, 61000);
        EXPECT_TRUE(info.Check(&m_validator, 60000, 0));
        EXPECT_EQ(CDocInfo::kStatusFailed, info.m_nStatus);
        EXPECT_TRUE(StartsWith(info.m_szMessage, L"The file is growing ("));
        EXPECT_TRUE(EndsWith(
            info.m_szMessage,
            L"sec). Validation was not succeeded in 60 seconds. Please, increase validation timeout."))
            << info.m_szMessage.c_str();
        // Looking at the failed record again leaves its message as it was.
        const std::wstring szMessage = info.m_szMessage;
        EXPECT_TRUE(info.Check(&m_validator, 60000, 0));
        EXPECT_EQ(szMessage, info.m_szMessage);
        EXPECT_EQ(CDocInfo::kStatusFailed, info.m_nStatus);
    }
}

TEST_F(ValidationTest, DocumentProblemsKeepTheRecordPending)
{
    Write("a.tif", 2000);
    CDocInfo info(m_dir.Wide("a.tif"), Entry("a.tif"), &m_validator);

    m_validator.m_nPages = 0;
    EXPECT_FALSE(info.Check(&m_validator, 60000, 0));
    EXPECT_TRUE(StartsWith(info.m_szMessage, L"Failed to count a valid pages number("))
        << info.m_szMessage.c_str();

    m_validator.m_bResult = false;
    m_validator.m_szError = L"Broken page";
    EXPECT_FALSE(info.Check(&m_validator, 60000, 0));
    EXPECT_TRUE(StartsWith(info.m_szMessage, L"Broken page. Failed to open document("))
        << info.m_szMessage.c_str();
    EXPECT_EQ(CDocInfo::kStatusPending, info.m_nStatus);

    platform::SFindData entry = Entry("a.tif");
    entry.ftCreation.dwHighDateTime = 0x80000000u; // beyond what the time conversions take
    CDocInfo badTime(m_dir.Wide("a.tif"), entry, &m_validator);
    m_validator.m_nCalls = 0;
    EXPECT_FALSE(badTime.Check(&m_validator, 60000, 0));
    EXPECT_TRUE(StartsWith(badTime.m_szMessage, L"Failed to get a valid file time ("));
    EXPECT_EQ(0, m_validator.m_nCalls);
}

// The document check against real TIFFs: the size rule, and a file that another process writes
// in two parts.
TEST_F(ValidationTest, FileValidatorOpensRealDocumentsOfAtLeast1024Bytes)
{
    ASSERT_TRUE(MakeTiff(m_dir.Native("small.tif"), 1));
    ASSERT_LT(tests::ReadFile(m_dir.Native("small.tif")).size(), 1024u);
    CFileValidatior validator;
    int nPages = 77;
    std::wstring szError = L"untouched";
    EXPECT_FALSE(validator.Validate(m_dir.Wide("small.tif").c_str(), nPages, szError));
    EXPECT_EQ(77, nPages);
    EXPECT_EQ(L"untouched", szError);

    Write("junk.tif", 1023);
    EXPECT_FALSE(validator.Validate(m_dir.Wide("junk.tif").c_str(), nPages, szError));
    EXPECT_EQ(L"untouched", szError);
    Write("junk.tif", 1024);
    EXPECT_FALSE(validator.Validate(m_dir.Wide("junk.tif").c_str(), nPages, szError));
    EXPECT_NE(L"untouched", szError); // opened, and its failure reported
    EXPECT_EQ(77, nPages);

    ASSERT_TRUE(MakeTiff(m_dir.Native("doc.tif"), 3, "tiffgray"));
    EXPECT_TRUE(validator.Validate(m_dir.Wide("doc.tif").c_str(), nPages, szError));
    EXPECT_EQ(3, nPages);
    Write("doc.pdx", 2000);
    EXPECT_FALSE(validator.Validate(m_dir.Wide("doc.pdx").c_str(), nPages, szError));
}

TEST_F(ValidationTest, DocumentWrittenInTwoPartsPassesOnceComplete)
{
    ASSERT_TRUE(MakeTiff(m_dir.Native("whole.tif"), 3, "tiffgray"));
    const std::string szBytes = tests::ReadFile(m_dir.Native("whole.tif"));
    WritePrefix(m_dir.Native("whole.tif"), m_dir.Native("doc.tif"), szBytes.size() / 2);
    CFileValidatior validator;
    CDocInfo info(m_dir.Wide("doc.tif"), Entry("doc.tif"), &validator);
    EXPECT_FALSE(info.m_bValid);
    EXPECT_FALSE(info.Check(&validator, 60000, 0));
    EXPECT_TRUE(StartsWith(info.m_szMessage, L"Failed to open document(") ||
                info.m_szMessage.find(L". Failed to open document(") != std::wstring::npos)
        << info.m_szMessage.c_str();

    WritePrefix(m_dir.Native("whole.tif"), m_dir.Native("doc.tif"), szBytes.size());
    EXPECT_FALSE(info.Check(&validator, 60000, 0));
    EXPECT_TRUE(StartsWith(info.m_szMessage, L"The file is growing ("));
    EXPECT_TRUE(info.Check(&validator, 60000, 0));
    EXPECT_EQ(CDocInfo::kStatusPassed, info.m_nStatus);
    EXPECT_EQ(3, info.m_nPages);
}

class CRecordingMonitor : public IDirectoryMonitor
{
public:
    void OnFileChecked(CDocInfo& info) override { m_checked.push_back(&info); }
    void OnFileGone(CDocInfo& info) override { m_gone.push_back(&info); }

    std::vector<CDocInfo*> m_checked;
    std::vector<CDocInfo*> m_gone;
};

TEST_F(ValidationTest, StatusForwardsToTheMonitorsCallback)
{
    Write("a.tif", 10);
    CDocInfo info(m_dir.Wide("a.tif"), Entry("a.tif"), nullptr);
    CRecordingMonitor monitor;
    CDirMonFileStatus status(&monitor);
    status.OnFileChecked(info);
    status.OnFileGone(info);
    EXPECT_EQ(std::vector<CDocInfo*>{&info}, monitor.m_checked);
    EXPECT_EQ(std::vector<CDocInfo*>{&info}, monitor.m_gone);
    CDirMonFileStatus silent(nullptr);
    silent.OnFileChecked(info);
    silent.OnFileGone(info);
}

} // namespace
