// The PDF document on the PDF library, on PDFs made by independent producers.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "documents/CDC.h"
#include "documents/CQuickPdfDoc.h"
#include "documents/CSplitPlan.h"
#include "documents/CreateImgDoc.h"
#include "documents/ISplitListener.h"
#include "documents/SSplitItem.h"
#include "tests/standins/PdfSamples.h"
#include "tests/support/TestFiles.h"

namespace
{

std::wstring Wide(const std::string& szText)
{
    return std::wstring(szText.begin(), szText.end());
}

class CRecordingListener : public ISplitListener
{
public:
    void OnSplitFile(const wchar_t* szFileName) override { m_files.push_back(szFileName); }
    void OnSplitResult(bool bSuccess, const std::wstring& szMessage) override
    {
        ++m_nResults;
        m_bSuccess = bSuccess;
        m_szMessage = szMessage;
    }

    std::vector<std::wstring> m_files;
    int m_nResults = 0;
    bool m_bSuccess = false;
    std::wstring m_szMessage;
};

class QuickPdfDocTest : public ::testing::Test
{
protected:
    CPdfSamples m_samples;
};

TEST_F(QuickPdfDocTest, OpensEveryProducersPdfAtPageOne)
{
    const std::string szGs = m_samples.Ghostscript("gs.pdf", 5);
    struct SCase
    {
        std::string szPath;
        int nPages;
        double dWidth, dHeight;
    };
    for (const SCase& c : std::vector<SCase>{{szGs, 5, 595, 842},
                                             {m_samples.Cairo("cairo.pdf", 3), 3, 300, 400},
                                             {m_samples.Linearized("linear.pdf", szGs), 5, 595, 842},
                                             {m_samples.ObjectStreams("objstm.pdf", szGs), 5, 595, 842},
                                             {m_samples.Incremental("incremental.pdf", szGs), 5, 595, 842}})
    {
        boost::shared_ptr<IImgDoc> pDoc = CreateImgDoc(Wide(c.szPath).c_str());
        std::wstring szError = L"untouched";
        ASSERT_TRUE(pDoc->Open(1, szError)) << c.szPath;
        EXPECT_EQ(L"untouched", szError);
        EXPECT_EQ(c.nPages, pDoc->GetPagesCount());
        double dWidth = 0, dHeight = 0;
        pDoc->GetPageSize(dWidth, dHeight);
        EXPECT_NEAR(c.dWidth, dWidth, 0.5);
        EXPECT_NEAR(c.dHeight, dHeight, 0.5);
        pDoc->GetPageSizeInPixels(dWidth, dHeight);
        EXPECT_NEAR(c.dWidth * 1.33, dWidth, 0.5);
        pDoc->Close();
        pDoc->Close();
        EXPECT_TRUE(pDoc->Open(c.nPages)) << "opens again after Close";
    }
}

TEST_F(QuickPdfDocTest, FailedOpensCarryTheLibrarysText)
{
    const std::string szGs = m_samples.Ghostscript("gs.pdf", 2);
    CQuickPdfDoc beyond(Wide(szGs));
    std::wstring szError;
    EXPECT_FALSE(beyond.Open(3, szError));
    EXPECT_EQ(L" Invalid page range list", szError);
    beyond.Close();
    EXPECT_EQ(L" Invalid page range list", beyond.LastErrorText()) << "the file closed without error";

    CQuickPdfDoc missing(Wide(m_samples.PathOf("missing.pdf")));
    EXPECT_FALSE(missing.Open(1, szError));
    EXPECT_EQ(L" File not found", szError);

    tests::WriteFile(m_samples.PathOf("text.pdf"), "plain text\n");
    CQuickPdfDoc text(Wide(m_samples.PathOf("text.pdf")));
    EXPECT_FALSE(text.Open(1, szError));
    EXPECT_EQ(L"Invalid file structure, file is damaged", szError);

    const std::string szData = tests::ReadFile(szGs);
    for (size_t nLength : {size_t{0}, szData.size() / 10, szData.size() / 2, szData.size() - 8})
    {
        CQuickPdfDoc cut(Wide(m_samples.Cut("cut.pdf", szGs, nLength)));
        EXPECT_FALSE(cut.Open(1, szError)) << nLength;
        EXPECT_EQ(L"Invalid file structure, file is damaged", szError);
    }
    EXPECT_EQ(L"Undefined error: 999", text.LastErrorCode(999));
    EXPECT_EQ(L"The specified FileHandle was invalid", text.LastErrorCode(501));
}

TEST_F(QuickPdfDocTest, MissingLibraryOrEntryPointFailsEveryOperationByName)
{
    const std::string szGs = m_samples.Ghostscript("gs.pdf", 2);
    struct SCase
    {
        std::wstring szLibrary;
        std::wstring szNamed;
    };
    for (const SCase& c : {SCase{L"TarvikNoPdfLibrary.dll", L"TarvikNoPdfLibrary.dll"},
                           SCase{L"libz.so.1", L"QuickPDFCreateLibrary"}})
    {
        CQuickPdfDoc doc(Wide(szGs), c.szLibrary);
        std::wstring szError;
        EXPECT_FALSE(doc.Open(1, szError));
        EXPECT_NE(std::wstring::npos, szError.find(c.szNamed)) << szError;
        EXPECT_EQ(0, doc.GetPagesCount());
        szError.clear();
        EXPECT_FALSE(doc.Append(Wide(szGs), szError));
        EXPECT_NE(std::wstring::npos, szError.find(c.szNamed)) << szError;
        SSplitItem item{Wide(m_samples.PathOf("part.pdf")), L"1"};
        CSplitPlan plan;
        plan.Add(&item);
        CRecordingListener listener;
        EXPECT_FALSE(doc.Split(plan, 2, &listener));
        EXPECT_EQ(1, listener.m_nResults);
        EXPECT_NE(std::wstring::npos, listener.m_szMessage.find(c.szNamed));
        EXPECT_FALSE(std::filesystem::exists(m_samples.PathOf("part.pdf")));
    }
}

TEST_F(QuickPdfDocTest, SplitWritesEachItemsPagesInOrder)
{
    const std::string szSource = m_samples.Ghostscript("five.pdf", 5);
    SSplitItem first{Wide(m_samples.PathOf("out/first.pdf")), L"3,1"};
    SSplitItem second{Wide(m_samples.PathOf("out/deeper/second.pdf")), L"2-4"};
    CSplitPlan plan;
    plan.Add(&first);
    plan.Add(&second);
    CRecordingListener listener;
    CQuickPdfDoc doc(Wide(szSource));
    ASSERT_TRUE(doc.Split(plan, 5, &listener)) << listener.m_szMessage;
    EXPECT_EQ(1, listener.m_nResults);
    EXPECT_TRUE(listener.m_bSuccess);
    EXPECT_EQ(L"Split complete", listener.m_szMessage);
    EXPECT_EQ((std::vector<std::wstring>{first.m_szFileName, second.m_szFileName}), listener.m_files);
    const std::string szFirst = m_samples.PathOf("out/first.pdf"),
                      szSecond = m_samples.PathOf("out/deeper/second.pdf");
    ASSERT_EQ(2, CPdfSamples::QpdfPageCount(szFirst));
    EXPECT_EQ("Page 3", CPdfSamples::PageText(szFirst, 1));
    EXPECT_EQ("Page 1", CPdfSamples::PageText(szFirst, 2));
    ASSERT_EQ(3, CPdfSamples::QpdfPageCount(szSecond));
    EXPECT_EQ("Page 2", CPdfSamples::PageText(szSecond, 1));
    EXPECT_EQ("Page 4", CPdfSamples::PageText(szSecond, 3));
}

TEST_F(QuickPdfDocTest, SplitCopiesWholeDocumentsAndStopsAtTheFirstBadItem)
{
    const std::string szSource = m_samples.Ghostscript("five.pdf", 5);
    CQuickPdfDoc doc(Wide(szSource));

    SSplitItem whole{Wide(m_samples.PathOf("copy/all.pdf")), L"1-5"};
    CSplitPlan wholePlan;
    wholePlan.Add(&whole);
    CRecordingListener copyListener;
    ASSERT_TRUE(doc.Split(wholePlan, 5, &copyListener)) << copyListener.m_szMessage;
    EXPECT_EQ(L"Split complete", copyListener.m_szMessage);
    EXPECT_TRUE(copyListener.m_files.empty());
    EXPECT_EQ(tests::ReadFile(szSource), tests::ReadFile(m_samples.PathOf("copy/all.pdf")));

    CSplitPlan empty;
    CRecordingListener emptyListener;
    EXPECT_FALSE(doc.Split(empty, 5, &emptyListener));
    EXPECT_EQ(L"Unable to split empty document", emptyListener.m_szMessage);
    EXPECT_FALSE(doc.Split(empty, 5, nullptr));

    SSplitItem good{Wide(m_samples.PathOf("good.pdf")), L"5"};
    SSplitItem bad{Wide(m_samples.PathOf("bad.pdf")), L"9"};
    SSplitItem never{Wide(m_samples.PathOf("never.pdf")), L"1"};
    CSplitPlan plan;
    for (SSplitItem* pItem : {&good, &bad, &never})
        plan.Add(pItem);
    CRecordingListener listener;
    EXPECT_FALSE(doc.Split(plan, 5, &listener));
    EXPECT_EQ(1, listener.m_nResults);
    EXPECT_FALSE(listener.m_bSuccess);
    EXPECT_EQ(bad.m_szFileName + L".  Invalid page range list. Range list: 9.", listener.m_szMessage);
    EXPECT_EQ(1, CPdfSamples::QpdfPageCount(m_samples.PathOf("good.pdf")));
    EXPECT_FALSE(std::filesystem::exists(m_samples.PathOf("bad.pdf")));
    EXPECT_FALSE(std::filesystem::exists(m_samples.PathOf("never.pdf")));
}

TEST_F(QuickPdfDocTest, AppendAddsTheOtherDocumentsPagesOnDisk)
{
    const std::string szTarget = m_samples.Ghostscript("target.pdf", 2);
    const std::string szOther = m_samples.Cairo("other.pdf", 3);
    CQuickPdfDoc doc(Wide(szTarget));
    std::wstring szError;
    ASSERT_TRUE(doc.Append(Wide(szOther), szError)) << std::string(szError.begin(), szError.end());
    EXPECT_EQ(5, CPdfSamples::QpdfPageCount(szTarget));
    EXPECT_FALSE(std::filesystem::exists(szTarget + ".tmp.pdf"));
    ASSERT_TRUE(doc.Open(1));
    EXPECT_EQ(5, doc.GetPagesCount());
    doc.Close();

    EXPECT_FALSE(doc.Append(Wide(m_samples.PathOf("missing.pdf")), szError));
    EXPECT_EQ(L" File not found", szError);
    EXPECT_EQ(5, CPdfSamples::QpdfPageCount(szTarget));
}

TEST_F(QuickPdfDocTest, RenderedPageIsDarkWhereTheTextIsAndWhiteElsewhere)
{
    CQuickPdfDoc doc(Wide(m_samples.Ghostscript("page.pdf", 1)));
    ASSERT_TRUE(doc.Open(1));
    CDC dc(700, 900);
    dc.Fill(0x123456); // the page must paint its own white background
    RECT rect{0, 0, 595, 842};
    doc.RenderPage(&dc, rect, 0);
    // 100% zoom gives 75 dpi, a page of 620 x 877 pixels: "Page 1" (48 points, baseline 122 points below the
    // top edge, from 72 points in) lies within about x 75..330, y 75..130.
    auto darkIn = [&](int x0, int y0, int x1, int y1)
    {
        int nDark = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
            {
                const uint32_t nPixel = dc.GetPixel(x, y);
                if (((nPixel >> 16) & 0xFF) < 100 && ((nPixel >> 8) & 0xFF) < 100 && (nPixel & 0xFF) < 100)
                    ++nDark;
            }
        return nDark;
    };
    auto whiteIn = [&](int x0, int y0, int x1, int y1)
    {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (dc.GetPixel(x, y) != 0xFFFFFFu)
                    return false;
        return true;
    };
    EXPECT_GT(darkIn(70, 70, 340, 135), 500);
    EXPECT_TRUE(whiteIn(0, 0, 615, 60));
    EXPECT_TRUE(whiteIn(0, 160, 615, 870));
    EXPECT_EQ(0x123456u, dc.GetPixel(690, 890)) << "beyond the page nothing is drawn";

    // A quarter turn exchanges the rectangle's right and bottom.
    RECT turned{0, 0, 200, 100};
    doc.RenderPage(&dc, turned, 1);
    EXPECT_EQ(100, turned.right);
    EXPECT_EQ(200, turned.bottom);
}

TEST_F(QuickPdfDocTest, DocumentsOnTwoThreadsWorkApart)
{
    const std::string szFour = m_samples.Ghostscript("four.pdf", 4);
    const std::string szCut = m_samples.Cut("cut.pdf", szFour, tests::ReadFile(szFour).size() / 2);
    std::atomic<int> nFailures{0};
    auto work = [&](const std::string& szPath, bool bOpens)
    {
        for (int n = 0; n < 50; ++n)
        {
            boost::shared_ptr<IImgDoc> pDoc = CreateImgDoc(Wide(szPath).c_str());
            std::wstring szError;
            const bool bOpened = pDoc->Open(1, szError);
            if (bOpened != bOpens || (bOpened && pDoc->GetPagesCount() != 4) ||
                (!bOpened && szError != L"Invalid file structure, file is damaged"))
                ++nFailures;
            if (bOpened)
                pDoc->Close();
        }
    };
    std::thread good(work, szFour, true), bad(work, szCut, false);
    good.join();
    bad.join();
    EXPECT_EQ(0, nFailures.load());
}

} // namespace
