// The entry points of the PDF library, with C linkage, and its error codes. Every function takes
// the instance number from QuickPDFCreateLibrary first; text arguments are zero-terminated UTF-8
// (normally library buffers). Instances are independent and may be used on different threads,
// each by one thread at a time.
#pragma once

#include <stdint.h>

#include "standins/pdflib/SDeviceContext.h"

#define QUICKPDF_EXPORT __attribute__((visibility("default")))

// Error codes of QuickPDFLastErrorCode.
enum
{
    kPdfErrorNone = 0,
    kPdfErrorCannotOpenInput = 401,
    kPdfErrorOutputExists = 402,
    kPdfErrorCannotOpenOutput = 403,
    kPdfErrorInvalidPassword = 404,
    kPdfErrorDamaged = 409,
    kPdfErrorInputEncrypted = 410,
    kPdfErrorFileNotFound = 411,
    kPdfErrorInvalidRangeList = 412,
    kPdfErrorInvalidFileHandle = 501,
};

extern "C"
{
    // A new instance number (greater than 0).
    QUICKPDF_EXPORT int32_t QuickPDFCreateLibrary();
    // Ends an instance: closes its files and frees its buffers. 1 on success, 0 for an unknown one.
    QUICKPDF_EXPORT int32_t QuickPDFReleaseLibrary(int32_t nInstance);

    // A zeroed buffer for nLength bytes of text plus a terminating zero; owned by the instance.
    QUICKPDF_EXPORT char* QuickPDFCreateBuffer(int32_t nInstance, int32_t nLength);
    // Appends nLength bytes to a buffer; 1 on success, 0 when they do not fit or it is unknown.
    QUICKPDF_EXPORT int32_t QuickPDFAddToBuffer(int32_t nInstance, char* pBuffer, const char* pSource,
                                                int32_t nLength);
    QUICKPDF_EXPORT int32_t QuickPDFReleaseBuffer(int32_t nInstance, char* pBuffer);

    // Opens a complete PDF for direct access; a file handle greater than 0, or 0 on failure. A file
    // that does not end in a complete trailer (one still being written) fails with 409.
    QUICKPDF_EXPORT int32_t QuickPDFDAOpenFile(int32_t nInstance, const char* szFileName,
                                               const char* szPassword);
    // A page reference greater than 0 for page nPage (1-based), or 0 (412 when there is no such page,
    // 409 for a damaged page tree).
    QUICKPDF_EXPORT int32_t QuickPDFDAFindPage(int32_t nInstance, int32_t nFileHandle, int32_t nPage);
    // The page's media box width and height in points.
    QUICKPDF_EXPORT double QuickPDFDAGetPageWidth(int32_t nInstance, int32_t nFileHandle, int32_t nPageRef);
    QUICKPDF_EXPORT double QuickPDFDAGetPageHeight(int32_t nInstance, int32_t nFileHandle, int32_t nPageRef);
    QUICKPDF_EXPORT int32_t QuickPDFDAGetPageCount(int32_t nInstance, int32_t nFileHandle);
    QUICKPDF_EXPORT int32_t QuickPDFDACloseFile(int32_t nInstance, int32_t nFileHandle);
    // Sets (nRelative 0) or turns by (nRelative 1) the page's display rotation, a multiple of 90.
    QUICKPDF_EXPORT int32_t QuickPDFDARotatePage(int32_t nInstance, int32_t nFileHandle, int32_t nPageRef,
                                                 int32_t nAngle, int32_t nRelative);
    // Renders the page at nDPI into the device context's raster, from its top left corner.
    QUICKPDF_EXPORT int32_t QuickPDFDARenderPageToDC(int32_t nInstance, int32_t nFileHandle, int32_t nPageRef,
                                                     int32_t nDPI, HDC hDC);
    // Writes the pages of szFirst followed by those of szSecond to szOutput.
    QUICKPDF_EXPORT int32_t QuickPDFMergeFiles(int32_t nInstance, const char* szFirst, const char* szSecond,
                                               const char* szOutput);
    // Writes the pages of a range list such as "3,1,4-6" (in that order; "6-4" counts down) of
    // szInput to szOutput; 0 on failure.
    QUICKPDF_EXPORT int32_t QuickPDFExtractFilePages(int32_t nInstance, const char* szInput,
                                                     const char* szOutput, const char* szRangeList);
    // The code of the instance's last call (0 when it succeeded).
    QUICKPDF_EXPORT int32_t QuickPDFLastErrorCode(int32_t nInstance);
}
