// One PDF file opened by the library: the file mapped into memory, read by qpdf without repairs,
// and the pages found in it so far.
#pragma once

#include <map>
#include <memory>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <string>
#include <vector>

#include "standins/pdflib/SDeviceContext.h"

class CPdfFile
{
public:
    CPdfFile() = default;
    virtual ~CPdfFile();
    CPdfFile(const CPdfFile&) = delete;
    CPdfFile& operator=(const CPdfFile&) = delete;

    // Maps and reads szPath; 0 on success, else the library error code. A file whose trailer is
    // incomplete or that qpdf can read only by repairing it gives 409.
    int Open(const std::string& szPath, const std::string& szPassword);

    // The page reference (greater than 0) of page nPage, or 0 with the error code in nError.
    int FindPage(int nPage, int& nError);
    // The page count recorded in the page tree's root; -1 when it cannot be read.
    int GetPageCount();
    // Media box size of a found page; false for an unknown reference or a missing media box.
    bool GetPageSize(int nPageRef, double& dWidth, double& dHeight);
    // Sets or turns the page's display rotation; false for an unknown reference or an angle that
    // is not a multiple of 90.
    bool RotatePage(int nPageRef, int nAngle, bool bRelative);
    // Renders the page at nDPI into the raster from its top left corner; false on failure.
    bool Render(int nPageRef, int nDPI, HDC hDC);

    // The qpdf document (for merging and extraction).
    QPDF& Document() { return *m_pQpdf; }

private:
    struct SPage
    {
        QPDFObjectHandle page;
        int nRotation = 0;     // display rotation in degrees, 0..270
        int nFileRotation = 0; // the rotation the file gives the page
        int nPageIndex = 0;    // 0-based page number
    };

    // An inherited page attribute (found on the page or one of its ancestors).
    static QPDFObjectHandle Inherited(QPDFObjectHandle page, const char* szKey);

    const char* m_pData = nullptr;   // the file's bytes: m_pMapped or m_copy
    const char* m_pMapped = nullptr; // the mapping of a large file
    std::vector<char> m_copy;        // the content of a small file
    size_t m_nSize = 0;
    std::unique_ptr<QPDF> m_pQpdf;
    std::vector<SPage> m_pages;    // index = page reference - 1
    std::map<int, int> m_pageRefs; // page number -> page reference
};
