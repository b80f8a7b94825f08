// Feeds arbitrary bytes as a PDF file to the PDF library: open, page count, first and last page
// with their sizes, and close. Any crash, hang or runaway allocation is a finding.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "standins/pdflib/QuickPDFExports.h"

namespace
{

std::string ScratchPath()
{
    const char* szDir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(szDir) + "/fuzz_pdf_open-" + std::to_string(getpid()) + ".pdf";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const std::string s_szPath = ScratchPath();
    static const int s_nInstance = QuickPDFCreateLibrary();
    FILE* pFile = std::fopen(s_szPath.c_str(), "wb");
    if (!pFile)
        return 0;
    std::fwrite(pData, 1, nSize, pFile);
    std::fclose(pFile);

    const int nHandle = QuickPDFDAOpenFile(s_nInstance, s_szPath.c_str(), "");
    if (nHandle > 0)
    {
        const int nPages = QuickPDFDAGetPageCount(s_nInstance, nHandle);
        for (int nPage : {1, nPages, 2})
        {
            const int nRef = QuickPDFDAFindPage(s_nInstance, nHandle, nPage);
            if (nRef > 0)
            {
                QuickPDFDAGetPageWidth(s_nInstance, nHandle, nRef);
                QuickPDFDAGetPageHeight(s_nInstance, nHandle, nRef);
            }
        }
        QuickPDFDACloseFile(s_nInstance, nHandle);
    }
    QuickPDFLastErrorCode(s_nInstance);
    return 0;
}
