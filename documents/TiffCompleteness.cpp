// The completeness check of a TIFF file, on libtiff.
#include "documents/TiffCompleteness.h"

#include <tiffio.h>

#include <memory>

namespace
{

constexpr uint32_t kNoStrips = 0xFFFFFFFFu;

struct STiffCloser
{
    void operator()(TIFF* pTiff) const { TIFFClose(pTiff); }
};

// True when every strip (or tile) of the current directory lies within nFileSize bytes; a strip
// without offset and byte count is an empty tile of a sparse file and counts as present.
bool StripsInside(TIFF* pTiff, uint64_t nFileSize, uint32_t& nBadStrip)
{
    const bool bTiled = TIFFIsTiled(pTiff) != 0;
    const uint32_t nStrips = bTiled ? TIFFNumberOfTiles(pTiff) : TIFFNumberOfStrips(pTiff);
    uint64_t* pOffsets = nullptr;
    uint64_t* pCounts = nullptr;
    if (nStrips == 0 ||
        !TIFFGetField(pTiff, bTiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &pOffsets) ||
        !TIFFGetField(pTiff, bTiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &pCounts) ||
        !pOffsets || !pCounts)
    {
        nBadStrip = kNoStrips;
        return false;
    }
    for (uint32_t n = 0; n < nStrips; ++n)
    {
        const uint64_t nOffset = pOffsets[n];
        const uint64_t nCount = pCounts[n];
        if (nOffset == 0 && nCount == 0)
            continue;
        if (nCount == 0 || nOffset > nFileSize || nCount > nFileSize - nOffset)
        {
            nBadStrip = n;
            return false;
        }
    }
    return true;
}

} // namespace

bool IsTiffComplete(const std::string& szUtf8Path, std::wstring& szProblem)
{
    // "m": read, never map the file: a file that shrinks under a mapping would fault on access.
    std::unique_ptr<TIFF, STiffCloser> pTiff(TIFFOpen(szUtf8Path.c_str(), "rm"));
    if (!pTiff)
    {
        szProblem = L"The TIFF file cannot be read.";
        return false;
    }
    const uint64_t nFileSize = TIFFGetSizeProc(pTiff.get())(TIFFClientdata(pTiff.get()));
    for (int nPage = 1;; ++nPage)
    {
        uint32_t nBadStrip = 0;
        if (!StripsInside(pTiff.get(), nFileSize, nBadStrip))
        {
            szProblem =
                nBadStrip == kNoStrips
                    ? L"The TIFF file is incomplete: page " + std::to_wstring(nPage) + L" has no image data."
                    : L"The TIFF file is incomplete: the image data of page " + std::to_wstring(nPage) +
                          L" (strip " + std::to_wstring(nBadStrip + 1) + L") lies beyond its end.";
            return false;
        }
        if (TIFFLastDirectory(pTiff.get()))
            return true;
        if (!TIFFReadDirectory(pTiff.get()))
        {
            szProblem = L"The TIFF file is incomplete: the directory of page " + std::to_wstring(nPage + 1) +
                        L" cannot be read.";
            return false;
        }
    }
}
