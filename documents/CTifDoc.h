// The multipage TIFF document: opens a TIFF at a page, counts its pages, measures, renders, appends
// and splits it, on FreeImage and its class layer FreeImagePlus.
#pragma once

#include <string>

#include "documents/IImgDoc.h"

class fipImage;
class fipWinImageEx;
class fipMultiPageEx;

class CTifDoc : public IImgDoc
{
public:
    // Stores the path; nothing is opened until Open.
    explicit CTifDoc(const std::wstring& szPath);
    // Closes the document.
    ~CTifDoc() override;

    // Unlocks the page, closes the file and destroys the library objects; the page count stays.
    void Close() override;
    // The page count of the last successful open of the file.
    int GetPagesCount() override;
    // Open(nPage); on failure szError becomes FreeImage's messages since the last reset, or a fixed
    // text when it said nothing.
    bool Open(int nPage, std::wstring& szError) override;
    // Opens the file read-only, checks that it is a complete TIFF, locks page nPage (1-based) and
    // records its size. True only when all of that succeeded.
    bool Open(int nPage) override;
    // Draws the page into pDC's raster over rcRect, turned clockwise by nRotation quarter turns; the
    // turns add up over successive calls.
    void RenderPage(CDC* pDC, RECT& rcRect, int nRotation) override;
    // Page size in pixels divided by 4.2.
    void GetPageSize(double& dWidth, double& dHeight) override;
    // Page size in pixels.
    void GetPageSizeInPixels(double& dWidth, double& dHeight) override;
    // Appends every page of the TIFF szOtherPath to this document's file, on disk.
    bool Append(const std::wstring& szOtherPath, std::wstring& szError) override;
    // Writes the pages of this document's file into one new file per plan item.
    bool Split(CSplitPlan& plan, int nPageCount, ISplitListener* pListener) override;

private:
    // The split itself: false at the first failing item, szMessage the result's message.
    bool SplitFiles(CSplitPlan& plan, int nPageCount, ISplitListener* pListener, std::wstring& szMessage);

    fipImage* m_pPage = nullptr;
    fipWinImageEx* m_pDisplay = nullptr;
    fipMultiPageEx* m_pMultiPage = nullptr;
    std::wstring m_szPath;
    double m_dPageWidth = 0;
    double m_dPageHeight = 0;
    int m_nPagesCount = 0;
};
