// The PDF document: every operation is a call into the PDF library through its own
// QuickPDFDLL0723 wrapper. When the library or one of its entry points is missing, every operation
// fails with a text that names what is missing.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>

#include "documents/IImgDoc.h"

class QuickPDFDLL0723;

class CQuickPdfDoc : public IImgDoc
{
public:
    // Stores the path and loads the library; nothing is opened until Open.
    explicit CQuickPdfDoc(const std::wstring& szPath);
    // The same with a library of another name (for tests of a missing library).
    CQuickPdfDoc(const std::wstring& szPath, const std::wstring& szLibraryName);
    // Closes the file, then releases the library.
    ~CQuickPdfDoc() override;

    // Closes the library's file handle; on failure the handle is kept and the error text stored.
    void Close() override;
    // The library's page count of the open file.
    int GetPagesCount() override;
    // Open(nPage); on failure szError becomes the last error text.
    bool Open(int nPage, std::wstring& szError) override;
    // Opens the file, finds page nPage and records its size in points. A file handle obtained
    // before a failing page lookup stays stored for the next Close.
    bool Open(int nPage) override;
    // Renders the selected page at the resolution that fits rcRect; an odd nRotation exchanges
    // rcRect's right and bottom.
    void RenderPage(CDC* pDC, RECT& rcRect, int nRotation) override;
    // Page size in points.
    void GetPageSize(double& dWidth, double& dHeight) override;
    // Page size in points times 1.33.
    void GetPageSizeInPixels(double& dWidth, double& dHeight) override;
    // Merges szOtherPath after this file's pages through "<path>.tmp.pdf", then replaces the file.
    bool Append(const std::wstring& szOtherPath, std::wstring& szError) override;
    // Extracts each item's range list into its output file; see IImgDoc.
    bool Split(CSplitPlan& plan, int nPageCount, ISplitListener* pListener) override;

    // The message for a library error code ("Undefined error: <code>" for unknown codes).
    std::wstring LastErrorCode(int nCode);
    // The text of the last failing library call; empty until one failed.
    const std::wstring& LastErrorText() const { return m_szLastError; }

private:
    // Stores the message of the library's last error code (or the load error) as last error text.
    void StoreLastError();

    double m_dPageWidth = 0;
    double m_dPageHeight = 0;
    std::wstring m_szPath;
    boost::shared_ptr<QuickPDFDLL0723> m_pLibrary;
    std::wstring m_szLastError;
    int32_t m_nFileHandle = 0;
    int32_t m_nPageRef = 0;
};
