// The PDF library through its exported entry points.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "standins/pdflib/PdfCompleteness.h"
#include "standins/pdflib/PdfRangeList.h"
#include "standins/pdflib/QuickPDFExports.h"
#include "tests/standins/PdfSamples.h"
#include "tests/support/TestFiles.h"

namespace
{

const std::set<int> kTableCodes = {401, 402, 403, 404, 409, 410, 411, 412, 501};

class PdfLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override { m_nInstance = QuickPDFCreateLibrary(); }
    void TearDown() override { QuickPDFReleaseLibrary(m_nInstance); }

    // Opens page 1: the file handle, or 0 with the failing call's code in nCode.
    int OpenAtPageOne(const std::string& szPath, int& nCode)
    {
        const int nHandle = QuickPDFDAOpenFile(m_nInstance, szPath.c_str(), "");
        nCode = QuickPDFLastErrorCode(m_nInstance);
        if (nHandle <= 0)
            return 0;
        if (QuickPDFDAFindPage(m_nInstance, nHandle, 1) > 0)
            return nHandle;
        nCode = QuickPDFLastErrorCode(m_nInstance);
        QuickPDFDACloseFile(m_nInstance, nHandle);
        return 0;
    }

    CPdfSamples m_samples;
    int m_nInstance = 0;
};

TEST(PdfCompleteness, AcceptsOnlyAFullTrailerAtTheEnd)
{
    const std::string szHead = "%PDF-1.4\n1 0 obj\n<<>>\nendobj\n";
    auto complete = [&](const std::string& szTail)
    {
        const std::string szData = szHead + szTail;
        return HasCompleteTrailer(szData.data(), szData.size());
    };
    EXPECT_TRUE(complete("startxref\n9\n%%EOF\n"));
    EXPECT_TRUE(complete("startxref\r\n9\r\n%%EOF"));
    for (const std::string szTail :
         {"startxref\n9\n%%EO", "startxref\n9\n", "startxref\n", "startxref 9999 %%EOF",
          "startxref\n9\n%%EOF\n1 0 obj", "startxref\n%%EOF\n", "xref\n9\n%%EOF\n"})
        EXPECT_FALSE(complete(szTail)) << szTail;
    EXPECT_FALSE(HasCompleteTrailer("", 0));
    const std::string szNoHeader = "1 0 obj\nstartxref\n0\n%%EOF\n";
    EXPECT_FALSE(HasCompleteTrailer(szNoHeader.data(), szNoHeader.size()));
}

TEST(PdfRangeList, ReadsPagesInOrderAndRejectsWhatIsNotAPage)
{
    std::vector<int> pages;
    ASSERT_TRUE(ReadExtractRangeList("3,1", 5, pages));
    EXPECT_EQ((std::vector<int>{3, 1}), pages);
    ASSERT_TRUE(ReadExtractRangeList(" 2 - 4 ,5-4,1", 5, pages));
    EXPECT_EQ((std::vector<int>{2, 3, 4, 5, 4, 1}), pages);
    for (const char* szBad : {"", "0", "6", "1,,2", "a", "1-2-3", "-2", "2-", "1.5", "99999999999"})
        EXPECT_FALSE(ReadExtractRangeList(szBad, 5, pages)) << szBad;
}

TEST_F(PdfLibraryTest, CompletePdfsOfEveryProducerOpenWithTheirPagesAndSize)
{
    const std::string szGs = m_samples.Ghostscript("gs.pdf", 5);
    struct SCase
    {
        std::string szPath;
        int nPages;
        double dWidth, dHeight;
    };
    const std::vector<SCase> cases = {
        {szGs, 5, 595, 842},
        {m_samples.Cairo("cairo.pdf", 3), 3, 300, 400},
        {m_samples.Linearized("linear.pdf", szGs), 5, 595, 842},
        {m_samples.ObjectStreams("objstm.pdf", szGs), 5, 595, 842},
        {m_samples.Incremental("incremental.pdf", szGs), 5, 595, 842},
    };
    for (const SCase& c : cases)
    {
        const int nHandle = QuickPDFDAOpenFile(m_nInstance, c.szPath.c_str(), "");
        ASSERT_GT(nHandle, 0) << c.szPath << " code " << QuickPDFLastErrorCode(m_nInstance);
        EXPECT_EQ(c.nPages, QuickPDFDAGetPageCount(m_nInstance, nHandle)) << c.szPath;
        for (int nPage : {1, c.nPages})
        {
            const int nRef = QuickPDFDAFindPage(m_nInstance, nHandle, nPage);
            ASSERT_GT(nRef, 0) << c.szPath;
            EXPECT_NEAR(c.dWidth, QuickPDFDAGetPageWidth(m_nInstance, nHandle, nRef), 0.5) << c.szPath;
            EXPECT_NEAR(c.dHeight, QuickPDFDAGetPageHeight(m_nInstance, nHandle, nRef), 0.5) << c.szPath;
        }
        EXPECT_EQ(0, QuickPDFDAFindPage(m_nInstance, nHandle, c.nPages + 1));
        EXPECT_EQ(412, QuickPDFLastErrorCode(m_nInstance));
        EXPECT_EQ(0, QuickPDFDAFindPage(m_nInstance, nHandle, 0));
        EXPECT_EQ(1, QuickPDFDACloseFile(m_nInstance, nHandle));
    }
}

TEST_F(PdfLibraryTest, EveryTruncationFailsWithATableCode)
{
    const std::string szGs = m_samples.Ghostscript("gs.pdf", 3);
    const std::string szIncremental = m_samples.Incremental("incremental.pdf", szGs);
    const std::vector<std::string> files = {szGs, m_samples.Cairo("cairo.pdf", 2),
                                            m_samples.Linearized("linear.pdf", szGs),
                                            m_samples.ObjectStreams("objstm.pdf", szGs), szIncremental};
    const size_t nEarlierRevision = tests::ReadFile(szGs).size();
    for (const std::string& szFile : files)
    {
        const std::string szData = tests::ReadFile(szFile);
        // A cut after the last "%%EOF" leaves the file complete.
        const size_t nComplete = szData.rfind("%%EOF") + 5;
        int nOpened = 0;
        for (size_t nLength = 0; nLength < nComplete; ++nLength)
        {
            // The end of the earlier revision of the updated file is itself a complete PDF.
            if (szFile == szIncremental && nLength + 7 > nEarlierRevision && nLength <= nEarlierRevision)
                continue;
            tests::WriteFile(m_samples.PathOf("cut.pdf"), szData.substr(0, nLength));
            int nCode = 0;
            if (const int nHandle = OpenAtPageOne(m_samples.PathOf("cut.pdf"), nCode))
            {
                ++nOpened;
                ADD_FAILURE() << szFile << " cut to " << nLength << " of " << szData.size() << " opened";
                QuickPDFDACloseFile(m_nInstance, nHandle);
            }
            else
                EXPECT_TRUE(kTableCodes.count(nCode)) << szFile << " cut to " << nLength << ": " << nCode;
        }
        EXPECT_EQ(0, nOpened) << szFile;
        int nCode = 0;
        const int nHandle = OpenAtPageOne(szFile, nCode);
        EXPECT_GT(nHandle, 0) << szFile;
        QuickPDFDACloseFile(m_nInstance, nHandle);
    }
    // The earlier revision on its own opens.
    int nCode = 0;
    EXPECT_GT(OpenAtPageOne(m_samples.Cut("earlier.pdf", szIncremental, nEarlierRevision), nCode), 0);
}

TEST_F(PdfLibraryTest, FailuresCarryTheirCodes)
{
    EXPECT_EQ(0, QuickPDFDAOpenFile(m_nInstance, m_samples.PathOf("missing.pdf").c_str(), ""));
    EXPECT_EQ(411, QuickPDFLastErrorCode(m_nInstance));
    EXPECT_EQ(0, QuickPDFDAOpenFile(m_nInstance, m_samples.Dir().c_str(), ""));
    EXPECT_EQ(401, QuickPDFLastErrorCode(m_nInstance));
    tests::WriteFile(m_samples.PathOf("text.pdf"), "This is no PDF at all.\n");
    EXPECT_EQ(0, QuickPDFDAOpenFile(m_nInstance, m_samples.PathOf("text.pdf").c_str(), ""));
    EXPECT_EQ(409, QuickPDFLastErrorCode(m_nInstance));
    tests::WriteFile(m_samples.PathOf("empty.pdf"), "");
    EXPECT_EQ(0, QuickPDFDAOpenFile(m_nInstance, m_samples.PathOf("empty.pdf").c_str(), ""));
    EXPECT_EQ(409, QuickPDFLastErrorCode(m_nInstance));

    EXPECT_EQ(0, QuickPDFDAGetPageCount(m_nInstance, 77));
    EXPECT_EQ(501, QuickPDFLastErrorCode(m_nInstance));
    const int nHandle = QuickPDFDAOpenFile(m_nInstance, m_samples.Ghostscript("gs.pdf", 1).c_str(), "");
    ASSERT_GT(nHandle, 0);
    EXPECT_EQ(0, QuickPDFLastErrorCode(m_nInstance));
    EXPECT_EQ(1, QuickPDFDACloseFile(m_nInstance, nHandle));
    EXPECT_EQ(0, QuickPDFDACloseFile(m_nInstance, nHandle));
    EXPECT_EQ(501, QuickPDFLastErrorCode(m_nInstance));
    EXPECT_EQ(501, QuickPDFLastErrorCode(12345)) << "an unknown instance";
}

TEST_F(PdfLibraryTest, BuffersHoldTheTextHandedOver)
{
    char* pBuffer = QuickPDFCreateBuffer(m_nInstance, 5);
    ASSERT_NE(nullptr, pBuffer);
    EXPECT_EQ(1, QuickPDFAddToBuffer(m_nInstance, pBuffer, "abc", 3));
    EXPECT_EQ(1, QuickPDFAddToBuffer(m_nInstance, pBuffer, "de", 2));
    EXPECT_EQ(0, QuickPDFAddToBuffer(m_nInstance, pBuffer, "f", 1));
    EXPECT_STREQ("abcde", pBuffer);
    EXPECT_EQ(1, QuickPDFReleaseBuffer(m_nInstance, pBuffer));
    EXPECT_EQ(0, QuickPDFReleaseBuffer(m_nInstance, pBuffer));
}

TEST_F(PdfLibraryTest, ExtractWritesTheListedPagesInOrder)
{
    const std::string szSource = m_samples.Ghostscript("five.pdf", 5);
    const std::string szOut = m_samples.PathOf("out.pdf");
    ASSERT_NE(0, QuickPDFExtractFilePages(m_nInstance, szSource.c_str(), szOut.c_str(), "3,1,5-4,3"));
    ASSERT_EQ(5, CPdfSamples::QpdfPageCount(szOut));
    const std::vector<std::string> expected = {"Page 3", "Page 1", "Page 5", "Page 4", "Page 3"};
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(expected[n], CPdfSamples::PageText(szOut, n + 1));

    // A bad range list leaves an existing output alone.
    for (const char* szBad : {"6", "0", "", "x"})
    {
        EXPECT_EQ(0, QuickPDFExtractFilePages(m_nInstance, szSource.c_str(), szOut.c_str(), szBad));
        EXPECT_EQ(412, QuickPDFLastErrorCode(m_nInstance)) << szBad;
    }
    EXPECT_EQ(5, CPdfSamples::QpdfPageCount(szOut));
    const std::string szNoDir = m_samples.PathOf("no/such/dir/out.pdf");
    EXPECT_EQ(0, QuickPDFExtractFilePages(m_nInstance, szSource.c_str(), szNoDir.c_str(), "1"));
    EXPECT_EQ(403, QuickPDFLastErrorCode(m_nInstance));
}

TEST_F(PdfLibraryTest, MergeAppendsTheSecondFilesPages)
{
    const std::string szFirst = m_samples.Ghostscript("first.pdf", 2);
    const std::string szSecond = m_samples.Cairo("second.pdf", 3);
    const std::string szOut = m_samples.PathOf("merged.pdf");
    ASSERT_EQ(1, QuickPDFMergeFiles(m_nInstance, szFirst.c_str(), szSecond.c_str(), szOut.c_str()));
    ASSERT_EQ(5, CPdfSamples::QpdfPageCount(szOut));
    EXPECT_EQ("Page 2", CPdfSamples::PageText(szOut, 2));
    EXPECT_EQ("Page 1", CPdfSamples::PageText(szOut, 3));
    EXPECT_EQ(0, QuickPDFMergeFiles(m_nInstance, szFirst.c_str(), "/no/such.pdf", szOut.c_str()));
    EXPECT_EQ(411, QuickPDFLastErrorCode(m_nInstance));
    EXPECT_EQ(5, CPdfSamples::QpdfPageCount(szOut));
}

TEST_F(PdfLibraryTest, InstancesOnTwoThreadsKeepTheirOwnState)
{
    const std::string szGood = m_samples.Ghostscript("good.pdf", 4);
    const std::string szMissing = m_samples.PathOf("missing.pdf");
    std::atomic<int> nFailures{0};
    auto work = [&](bool bGood)
    {
        const int nInstance = QuickPDFCreateLibrary();
        for (int n = 0; n < 100; ++n)
        {
            const int nHandle = QuickPDFDAOpenFile(nInstance, (bGood ? szGood : szMissing).c_str(), "");
            const int nCode = QuickPDFLastErrorCode(nInstance);
            if (bGood ? (nHandle <= 0 || nCode != 0 || QuickPDFDAGetPageCount(nInstance, nHandle) != 4 ||
                         QuickPDFDACloseFile(nInstance, nHandle) != 1)
                      : (nHandle != 0 || nCode != 411))
                ++nFailures;
        }
        QuickPDFReleaseLibrary(nInstance);
    };
    std::thread good(work, true), bad(work, false);
    good.join();
    bad.join();
    EXPECT_EQ(0, nFailures.load());
}

} // namespace
