// The factory, the null document, range lists, split plans and the device context.
#include <gtest/gtest.h>

#include "documents/CDC.h"
#include "documents/CNullDoc.h"
#include "documents/CQuickPdfDoc.h"
#include "documents/CSplitPlan.h"
#include "documents/CTifDoc.h"
#include "documents/CreateImgDoc.h"
#include "documents/ParseRangeList.h"
#include "documents/SSplitItem.h"

namespace
{

TEST(CreateImgDoc, ChoosesTheDocumentByTheFirstThreeCharactersOfTheExtension)
{
    for (const wchar_t* szPdf : {L"/in/report.PDF", L"/in/report.pdf", L"x.Pdfa"})
        EXPECT_NE(nullptr, dynamic_cast<CQuickPdfDoc*>(CreateImgDoc(szPdf).get())) << szPdf;
    for (const wchar_t* szTif : {L"/in/scan.Tiff", L"/in/scan.tif", L"scan.TIF"})
        EXPECT_NE(nullptr, dynamic_cast<CTifDoc*>(CreateImgDoc(szTif).get())) << szTif;
    for (const wchar_t* szOther : {L"scan.tf", L"file.pd", L"noextension", L"/in.box/report", L""})
        EXPECT_NE(nullptr, dynamic_cast<CNullDoc*>(CreateImgDoc(szOther).get())) << szOther;
    // Without any dot the whole path counts as the extension.
    EXPECT_NE(nullptr, dynamic_cast<CQuickPdfDoc*>(CreateImgDoc(L"pdf").get()));
}

TEST(CreateImgDoc, NullDocumentFailsAndTouchesNothing)
{
    boost::shared_ptr<IImgDoc> pDoc = CreateImgDoc(L"/tmp/notes.txt");
    std::wstring szError = L"before";
    EXPECT_FALSE(pDoc->Open(1, szError));
    EXPECT_EQ(L"before", szError);
    EXPECT_FALSE(pDoc->Append(L"/tmp/other.txt", szError));
    EXPECT_EQ(L"before", szError);
    EXPECT_EQ(0, pDoc->GetPagesCount());
    double dWidth = 7, dHeight = 8;
    pDoc->GetPageSize(dWidth, dHeight);
    pDoc->GetPageSizeInPixels(dWidth, dHeight);
    EXPECT_EQ(7, dWidth);
    EXPECT_EQ(8, dHeight);
    CSplitPlan plan;
    EXPECT_FALSE(pDoc->Split(plan, 0, nullptr));
}

TEST(ParseRangeList, ReadsTokensAndRangesInOrder)
{
    EXPECT_EQ((std::vector<int>{1, 4, 5, 6, 7}), ParseRangeList(L"1, 4-6,,7"));
    EXPECT_EQ((std::vector<int>{2, 2, 2}), ParseRangeList(L"2-,-2,2"));
    EXPECT_EQ((std::vector<int>{3, 1, 1}), ParseRangeList(L" 3 ,1,1 "));
    EXPECT_TRUE(ParseRangeList(L"5-3").empty());
    EXPECT_TRUE(ParseRangeList(L"1-2-3").empty());
    EXPECT_TRUE(ParseRangeList(L"").empty());
    // Text that starts without a number reads as 0; reading stops at the first other character.
    EXPECT_EQ((std::vector<int>{0, 12}), ParseRangeList(L"abc,12x"));
}

TEST(ParseRangeList, HugeRangesStopAtTheLimit)
{
    EXPECT_EQ(kMaxRangeListPages, ParseRangeList(L"1-2000000000").size());
    EXPECT_EQ(kMaxRangeListPages, ParseRangeList(L"1-999999999999999999999,5").size());
}

TEST(CSplitPlan, WholeDocumentNeedsOneItemNamingEveryPage)
{
    SSplitItem item{L"/out/all.pdf", L"1-3"};
    CSplitPlan plan;
    plan.Add(&item);
    std::wstring szOutput = L"stale";
    EXPECT_TRUE(plan.IsWholeDocument(3, szOutput));
    EXPECT_EQ(L"/out/all.pdf", szOutput);
    EXPECT_FALSE(plan.IsWholeDocument(4, szOutput));
    EXPECT_EQ(L"", szOutput);
    item.m_szRangeList = L"3,2,1";
    EXPECT_TRUE(plan.IsWholeDocument(3, szOutput));
    item.m_szRangeList = L"1,2,2";
    EXPECT_FALSE(plan.IsWholeDocument(3, szOutput));
    item.m_szRangeList = L"1-4";
    EXPECT_FALSE(plan.IsWholeDocument(3, szOutput));
    item.m_szRangeList = L"";
    EXPECT_TRUE(plan.IsWholeDocument(0, szOutput));

    SSplitItem second{L"/out/b.pdf", L""};
    plan.Add(&second);
    EXPECT_FALSE(plan.IsWholeDocument(0, szOutput));
    ASSERT_TRUE(plan.First());
    EXPECT_EQ(&item, plan.Next());
    EXPECT_EQ(&second, plan.Next());
    EXPECT_EQ(nullptr, plan.Next());
    EXPECT_FALSE(CSplitPlan().First());
}

TEST(CDC, HalftoneStretchAveragesAreasAndClips)
{
    CDC dc(4, 3);
    EXPECT_EQ(0xFFFFFFu, dc.GetPixel(3, 2));
    EXPECT_EQ(&dc, CDC::FromHandle(dc.m_hDC));
    // A 4x2 source, bottom-up: the stored first row is the bottom one.
    const uint32_t source[8] = {0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF,
                                0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF};
    dc.SetStretchMode(HALFTONE);
    EXPECT_EQ(2, dc.StretchDIBits(0, 0, 2, 2, source, 4, 2, 16, true));
    EXPECT_EQ(0xFF0000u, dc.GetPixel(0, 0)); // top row: red
    EXPECT_EQ(0x0000FFu, dc.GetPixel(1, 0)); // blue
    EXPECT_EQ(0x808080u, dc.GetPixel(0, 1)); // black and white average to grey
    EXPECT_EQ(0xFFFFFFu, dc.GetPixel(2, 0)); // outside the rectangle nothing changed
    // Nearest pixel without halftone; a rectangle beyond the raster is clipped.
    dc.SetStretchMode(COLORONCOLOR);
    EXPECT_EQ(2, dc.StretchDIBits(2, 1, 4, 4, source, 4, 2, 16, false));
    EXPECT_EQ(0x000000u, dc.GetPixel(2, 1));
    EXPECT_EQ(0xFFFFFFu, dc.GetPixel(3, 1));
    EXPECT_EQ(0u, dc.GetPixel(4, 1));
    EXPECT_EQ(0, dc.StretchDIBits(0, 0, 2, 2, nullptr, 4, 2, 16, false));
    EXPECT_EQ(0, dc.StretchDIBits(0, 0, 2, 2, source, 4, 2, 8, false));
}

} // namespace
