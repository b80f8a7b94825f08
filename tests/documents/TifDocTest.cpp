// The multipage TIFF document against TIFF files made by Ghostscript and libtiff's tools.
#include <gtest/gtest.h>

#include <vector>

#include "documents/CDC.h"
#include "documents/CSplitPlan.h"
#include "documents/CTifDoc.h"
#include "documents/ISplitListener.h"
#include "documents/SSplitItem.h"
#include "tests/documents/TiffTestFiles.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

namespace
{

using PageSizes = std::vector<std::pair<unsigned, unsigned>>;

PageSizes SizesOfPages(std::initializer_list<int> pages)
{
    PageSizes sizes;
    for (int n : pages)
        sizes.emplace_back(PageWidth(n), kPageHeight);
    return sizes;
}

class CRecordingListener : public ISplitListener
{
public:
    void OnSplitFile(const wchar_t* szFileName) override { m_files.emplace_back(szFileName); }
    void OnSplitResult(bool bSuccess, const std::wstring& szMessage) override
    {
        m_results.emplace_back(bSuccess, szMessage);
    }

    std::vector<std::wstring> m_files;
    std::vector<std::pair<bool, std::wstring>> m_results;
};

class TifDocTest : public ::testing::Test
{
protected:
    // The debug switch of the split is read from the registry stand-in: keep it in the test's own
    // directory.
    CIsolatedEnvironment m_env;
    const CTempDir& m_dir = m_env.Directory();
};

TEST_F(TifDocTest, OpensEachPageOfAThreePageFileAndRefusesPageFour)
{
    ASSERT_TRUE(MakeTiff(m_dir.Native("three.tif"), 3));
    CTifDoc doc(m_dir.Wide("three.tif"));
    std::wstring szError = L"untouched";
    ASSERT_TRUE(doc.Open(1, szError));
    EXPECT_EQ(L"untouched", szError);
    EXPECT_EQ(3, doc.GetPagesCount());
    double dWidth = 0, dHeight = 0;
    doc.GetPageSize(dWidth, dHeight);
    EXPECT_DOUBLE_EQ(PageWidth(1) / 4.2, dWidth);
    EXPECT_DOUBLE_EQ(kPageHeight / 4.2, dHeight);
    doc.GetPageSizeInPixels(dWidth, dHeight);
    EXPECT_NEAR(PageWidth(1), dWidth, 1e-9);
    EXPECT_NEAR(kPageHeight, dHeight, 1e-9);

    ASSERT_TRUE(doc.Open(3));
    doc.GetPageSizeInPixels(dWidth, dHeight);
    EXPECT_NEAR(PageWidth(3), dWidth, 1e-9);

    EXPECT_FALSE(doc.Open(4, szError));
    EXPECT_FALSE(szError.empty());
    EXPECT_EQ(3, doc.GetPagesCount());
    EXPECT_FALSE(doc.Open(0));
    doc.Close();
    doc.Close();
    EXPECT_EQ(3, doc.GetPagesCount());
}

TEST_F(TifDocTest, FilesThatAreNotTiffsFailWithAText)
{
    std::wstring szError;
    CTifDoc missing(m_dir.Wide("missing.tif"));
    EXPECT_FALSE(missing.Open(1, szError));
    EXPECT_FALSE(szError.empty());

    CTestProcess::Shell("echo 'no image here' > '" + m_dir.Native("text.tif") + "'");
    CTifDoc text(m_dir.Wide("text.tif"));
    szError.clear();
    EXPECT_FALSE(text.Open(1, szError));
    EXPECT_FALSE(szError.empty());
    EXPECT_LE(szError.size(), 259u);
    EXPECT_EQ(0, text.GetPagesCount());

    CTestProcess::Shell(": > '" + m_dir.Native("empty.tif") + "'");
    CTifDoc empty(m_dir.Wide("empty.tif"));
    EXPECT_FALSE(empty.Open(1, szError));
}

// A file that is still being written must never pass for a document, whatever FreeImage makes of
// the part written so far.
TEST_F(TifDocTest, EveryTruncationFailsToOpen)
{
    ASSERT_TRUE(MakeTiff(m_dir.Native("g4.tif"), 3));
    ASSERT_TRUE(MakeTiff(m_dir.Native("raw.tif"), 3, "tiffgray", "none"));
    const std::string szCut = m_dir.Native("cut.tif");
    CTifDoc doc(m_dir.Wide("cut.tif"));

    const size_t nG4 = tests::ReadFile(m_dir.Native("g4.tif")).size();
    for (size_t n = 0; n < nG4; ++n)
    {
        WritePrefix(m_dir.Native("g4.tif"), szCut, n);
        std::wstring szError;
        EXPECT_FALSE(doc.Open(1, szError)) << "G4 cut to " << n << " of " << nG4 << " bytes";
        EXPECT_FALSE(szError.empty());
    }
    const size_t nRaw = tests::ReadFile(m_dir.Native("raw.tif")).size();
    for (size_t nPercent = 1; nPercent < 100; ++nPercent)
    {
        const size_t n = nRaw * nPercent / 100;
        WritePrefix(m_dir.Native("raw.tif"), szCut, n);
        EXPECT_FALSE(doc.Open(1)) << "uncompressed cut to " << n << " of " << nRaw << " bytes";
    }
    WritePrefix(m_dir.Native("raw.tif"), szCut, nRaw - 1);
    EXPECT_FALSE(doc.Open(1));

    // The complete files themselves still open with all their pages.
    WritePrefix(m_dir.Native("raw.tif"), szCut, nRaw);
    ASSERT_TRUE(doc.Open(1));
    EXPECT_EQ(3, doc.GetPagesCount());
}

// The completeness check reads the file's structure itself: every layout tiffcp writes must still
// open, and still be refused when cut short.
TEST_F(TifDocTest, OtherLayoutsOpenWhenCompleteOnly)
{
    ASSERT_TRUE(MakeTiff(m_dir.Native("gray.tif"), 2, "tiffgray"));
    const std::vector<std::pair<std::string, std::string>> layouts = {{"lzw", "-c lzw"},
                                                                      {"tiled", "-c zip -t -w 16 -l 16"},
                                                                      {"bigtiff", "-8"},
                                                                      {"bigendian", "-B"},
                                                                      {"packbits", "-c packbits"}};
    for (const auto& [szName, szOptions] : layouts)
    {
        const std::string szFile = m_dir.Native(szName + ".tif");
        ASSERT_EQ(0, CTestProcess::Shell("tiffcp " + szOptions + " '" + m_dir.Native("gray.tif") + "' '" +
                                         szFile + "'"));
        CTifDoc doc(m_dir.Wide(szName + ".tif"));
        ASSERT_TRUE(doc.Open(2)) << szName;
        EXPECT_EQ(2, doc.GetPagesCount()) << szName;
        const size_t nSize = tests::ReadFile(szFile).size();
        CTifDoc cut(m_dir.Wide("cut.tif"));
        for (size_t n : {nSize - 1, nSize - 8, nSize * 3 / 4, nSize / 2})
        {
            WritePrefix(szFile, m_dir.Native("cut.tif"), n);
            EXPECT_FALSE(cut.Open(1)) << szName << " cut to " << n << " of " << nSize;
        }
    }
}

TEST_F(TifDocTest, LibTiffNoiseStaysOffStandardError)
{
    ASSERT_TRUE(MakeTiff(m_dir.Native("g4.tif"), 2));
    ASSERT_TRUE(MakeTiff(m_dir.Native("rgb.tif"), 1, "tiff24nc"));
    WritePrefix(m_dir.Native("g4.tif"), m_dir.Native("cut.tif"), 300);
    CTestProcess::Shell("printf 'II*\\000\\377\\377\\377\\177' > '" + m_dir.Native("bad.tif") + "'");

    testing::internal::CaptureStderr();
    std::wstring szCutError;
    std::wstring szBadError;
    const bool bG4 = CTifDoc(m_dir.Wide("g4.tif")).Open(1);
    const bool bRgb = CTifDoc(m_dir.Wide("rgb.tif")).Open(1);
    const bool bCut = CTifDoc(m_dir.Wide("cut.tif")).Open(1, szCutError);
    const bool bBad = CTifDoc(m_dir.Wide("bad.tif")).Open(1, szBadError);
    const std::string szStderr = testing::internal::GetCapturedStderr();

    EXPECT_TRUE(bG4);
    EXPECT_TRUE(bRgb);
    EXPECT_FALSE(bCut);
    EXPECT_FALSE(bBad);
    EXPECT_EQ(std::string::npos, szStderr.find("TIFFFieldWithTag")) << szStderr;
    for (const std::wstring& szError : {szCutError, szBadError})
    {
        EXPECT_EQ(std::wstring::npos, szError.find(L"TIFFFieldWithTag"))
            << std::string(szError.begin(), szError.end());
        EXPECT_FALSE(szError.empty());
    }
    // The directory offset beyond the file is libtiff's real error, and reaches the error text.
    EXPECT_NE(std::wstring::npos, szBadError.find(L"TIFF"))
        << std::string(szBadError.begin(), szBadError.end());
}

TEST_F(TifDocTest, SplitWritesThePagesOfEachItemInRangeOrder)
{
    ASSERT_TRUE(MakeTiff(m_dir.Native("five.tif"), 5));
    CTifDoc doc(m_dir.Wide("five.tif"));
    SSplitItem first{m_dir.Wide("out/a.tif"), L"3,1"};
    SSplitItem second{m_dir.Wide("out/b.tif"), L" 2-4 , 5"};
    CSplitPlan plan;
    plan.Add(&first);
    plan.Add(&second);
    CRecordingListener listener;
    ASSERT_TRUE(doc.Split(plan, 5, &listener));

    EXPECT_EQ(SizesOfPages({3, 1}), ReadPageSizes(m_dir.Native("out/a.tif")));
    EXPECT_EQ(SizesOfPages({2, 3, 4, 5}), ReadPageSizes(m_dir.Native("out/b.tif")));
    EXPECT_EQ((std::vector<std::wstring>{first.m_szFileName, second.m_szFileName}), listener.m_files);
    ASSERT_EQ(1u, listener.m_results.size());
    EXPECT_EQ(std::make_pair(true, std::wstring(L"Split complete")), listener.m_results[0]);
    // The split works on the file: the split targets open as documents of their own.
    CTifDoc part(m_dir.Wide("out/a.tif"));
    ASSERT_TRUE(part.Open(1));
    EXPECT_EQ(2, part.GetPagesCount());
}

TEST_F(TifDocTest, SplitOfTheWholeDocumentCopiesTheFile)
{
    ASSERT_TRUE(MakeTiff(m_dir.Native("five.tif"), 5));
    CTifDoc doc(m_dir.Wide("five.tif"));
    SSplitItem whole{m_dir.Wide("copy/all.tif"), L"1-5"};
    CSplitPlan plan;
    plan.Add(&whole);
    CRecordingListener listener;
    ASSERT_TRUE(doc.Split(plan, 5, &listener));
    EXPECT_EQ(tests::ReadFile(m_dir.Native("five.tif")), tests::ReadFile(m_dir.Native("copy/all.tif")));
    EXPECT_TRUE(listener.m_files.empty());
    ASSERT_EQ(1u, listener.m_results.size());
    EXPECT_TRUE(listener.m_results[0].first);
}

TEST_F(TifDocTest, SplitFailuresEndWithOneResult)
{
    ASSERT_TRUE(MakeTiff(m_dir.Native("five.tif"), 5));
    CTifDoc doc(m_dir.Wide("five.tif"));
    {
        CSplitPlan empty;
        CRecordingListener listener;
        EXPECT_FALSE(doc.Split(empty, 5, &listener));
        ASSERT_EQ(1u, listener.m_results.size());
        EXPECT_EQ(std::make_pair(false, std::wstring(L"Unable to split empty document")),
                  listener.m_results[0]);
    }
    {
        // A page beyond the source fails its item; the earlier item's file stays, the failed one
        // leaves nothing half-written behind.
        SSplitItem good{m_dir.Wide("good.tif"), L"1"};
        SSplitItem beyond{m_dir.Wide("beyond.tif"), L"2,9"};
        CSplitPlan plan;
        plan.Add(&good);
        plan.Add(&beyond);
        CRecordingListener listener;
        EXPECT_FALSE(doc.Split(plan, 5, &listener));
        ASSERT_EQ(1u, listener.m_results.size());
        EXPECT_FALSE(listener.m_results[0].first);
        EXPECT_NE(std::wstring::npos, listener.m_results[0].second.find(L"9"));
        EXPECT_EQ(SizesOfPages({1}), ReadPageSizes(m_dir.Native("good.tif")));
        EXPECT_TRUE(ReadPageSizes(m_dir.Native("beyond.tif")).empty());
    }
    {
        SSplitItem bad{m_dir.Wide("bad|name.tif"), L"1"};
        CSplitPlan plan;
        plan.Add(&bad);
        plan.Add(&bad);
        CRecordingListener listener;
        EXPECT_FALSE(doc.Split(plan, 5, nullptr));
        plan.First();
        EXPECT_FALSE(doc.Split(plan, 5, &listener));
        ASSERT_EQ(1u, listener.m_results.size());
        EXPECT_EQ(0u, listener.m_results[0].second.find(L"Invalid file name: '" + bad.m_szFileName + L"' "));
        // The listener hears of the item before its name is checked.
        EXPECT_EQ(1u, listener.m_files.size());
    }
}

TEST_F(TifDocTest, AppendAddsTheOtherFilesPages)
{
    ASSERT_TRUE(MakeTiff(m_dir.Native("three.tif"), 3));
    ASSERT_TRUE(MakeTiff(m_dir.Native("two.tif"), 2));
    CTifDoc doc(m_dir.Wide("three.tif"));
    std::wstring szError;
    ASSERT_TRUE(doc.Append(m_dir.Wide("two.tif"), szError)) << std::string(szError.begin(), szError.end());
    EXPECT_EQ(SizesOfPages({1, 2, 3, 1, 2}), ReadPageSizes(m_dir.Native("three.tif")));
    ASSERT_TRUE(doc.Open(5));
    EXPECT_EQ(5, doc.GetPagesCount());
    doc.Close();

    CTestProcess::Shell("cp '" + m_dir.Native("two.tif") + "' '" + m_dir.Native("two.txt") + "'");
    EXPECT_FALSE(doc.Append(m_dir.Wide("two.txt"), szError));
    EXPECT_EQ(L"Unknown error occurred while appending document", szError);

    // A source that is still being written adds nothing.
    WritePrefix(m_dir.Native("two.tif"), m_dir.Native("cut.tif"),
                tests::ReadFile(m_dir.Native("two.tif")).size() - 10);
    szError.clear();
    EXPECT_FALSE(doc.Append(m_dir.Wide("cut.tif"), szError));
    EXPECT_FALSE(szError.empty());
    EXPECT_EQ(5u, ReadPageSizes(m_dir.Native("three.tif")).size());
}

// The page's black square, 10 pixels in from the top left, shows dark; the rest stays white.
TEST_F(TifDocTest, RenderPageDrawsThePageTurnedClockwise)
{
    ASSERT_TRUE(MakeTiff(m_dir.Native("one.tif"), 1));
    CTifDoc doc(m_dir.Wide("one.tif"));
    const int nWidth = PageWidth(1);
    {
        CDC dc(nWidth, kPageHeight);
        RECT rc{0, 0, nWidth, kPageHeight};
        doc.RenderPage(&dc, rc, 0); // nothing open: nothing drawn
        EXPECT_EQ(0xFFFFFFu, dc.GetPixel(30, 30));
    }
    ASSERT_TRUE(doc.Open(1));
    {
        CDC dc(nWidth, kPageHeight);
        dc.Fill(0x00FF00);
        RECT rc{0, 0, nWidth, kPageHeight};
        doc.RenderPage(&dc, rc, 0);
        EXPECT_EQ(0u, dc.GetPixel(30, 30));
        EXPECT_EQ(0xFFFFFFu, dc.GetPixel(nWidth - 30, kPageHeight - 30));
        EXPECT_EQ(0xFFFFFFu, dc.GetPixel(30, kPageHeight - 30));
    }
    {
        // A quarter turn clockwise brings the square to the top right.
        CDC dc(kPageHeight, nWidth);
        RECT rc{0, 0, kPageHeight, nWidth};
        doc.RenderPage(&dc, rc, 1);
        EXPECT_EQ(0u, dc.GetPixel(kPageHeight - 30, 30));
        EXPECT_EQ(0xFFFFFFu, dc.GetPixel(30, 30));
    }
    {
        // The turns add up: one more quarter makes half a turn, square at the bottom right.
        CDC dc(nWidth, kPageHeight);
        RECT rc{0, 0, nWidth, kPageHeight};
        doc.RenderPage(&dc, rc, 1);
        EXPECT_EQ(0u, dc.GetPixel(nWidth - 30, kPageHeight - 30));
        EXPECT_EQ(0xFFFFFFu, dc.GetPixel(30, 30));
    }
    {
        // Shrunk to a quarter, the square's area averages stay dark where it lies.
        CDC dc(nWidth / 4, kPageHeight / 4);
        RECT rc{0, 0, nWidth / 4, kPageHeight / 4};
        doc.RenderPage(&dc, rc, 2);
        EXPECT_EQ(0u, dc.GetPixel(7, 7));
        EXPECT_EQ(0xFFFFFFu, dc.GetPixel(nWidth / 4 - 5, kPageHeight / 4 - 5));
    }
}

} // namespace
