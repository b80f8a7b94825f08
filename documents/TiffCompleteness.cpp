// The completeness check of a TIFF file, on libtiff.
#include "documents/TiffCompleteness.h"

#include <tiffio.h>

#include <cstdio>
#include <memory>
#include <vector>

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

// Bytes of one value of a TIFF field type; 0 for types libtiff does not know (it skips them).
uint64_t TypeSize(uint16_t nType)
{
    switch (nType)
    {
    case 1:
    case 2:
    case 6:
    case 7: // BYTE, ASCII, SBYTE, UNDEFINED
        return 1;
    case 3:
    case 8: // SHORT, SSHORT
        return 2;
    case 4:
    case 9:
    case 11:
    case 13: // LONG, SLONG, FLOAT, IFD
        return 4;
    case 5:
    case 10:
    case 12:
    case 16:
    case 17:
    case 18: // RATIONAL, SRATIONAL, DOUBLE, LONG8, SLONG8, IFD8
        return 8;
    default:
        return 0;
    }
}

// Reads nBytes at nOffset through libtiff's own file access; false when the file is shorter.
bool ReadAt(TIFF* pTiff, uint64_t nOffset, void* pBuffer, size_t nBytes)
{
    thandle_t hFile = TIFFClientdata(pTiff);
    if (TIFFGetSeekProc(pTiff)(hFile, static_cast<toff_t>(nOffset), SEEK_SET) != nOffset)
        return false;
    return TIFFGetReadProc(pTiff)(hFile, pBuffer, static_cast<tmsize_t>(nBytes)) ==
           static_cast<tmsize_t>(nBytes);
}

uint64_t Unpack(const uint8_t* pBytes, size_t nBytes, bool bBigEndian)
{
    uint64_t nValue = 0;
    for (size_t n = 0; n < nBytes; ++n)
        nValue |= static_cast<uint64_t>(pBytes[bBigEndian ? n : nBytes - 1 - n]) << (8 * (nBytes - 1 - n));
    return nValue;
}

// True when the current directory's entries, its link to the next directory and every value stored
// outside the entries lie within nFileSize bytes. libtiff reads a directory whose tail is missing
// as the last one, and a value beyond the end only with a warning.
bool DirectoryInside(TIFF* pTiff, uint64_t nFileSize)
{
    const bool bBig = TIFFIsBigTIFF(pTiff) != 0;
    const bool bBigEndian = TIFFIsBigEndian(pTiff) != 0;
    const size_t nCountSize = bBig ? 8 : 2;
    const size_t nEntrySize = bBig ? 20 : 12;
    const size_t nFieldSize = bBig ? 8 : 4; // count, value or offset, next-directory link
    const uint64_t nOffset = TIFFCurrentDirOffset(pTiff);
    uint8_t countBytes[8];
    if (!ReadAt(pTiff, nOffset, countBytes, nCountSize))
        return false;
    const uint64_t nEntries = Unpack(countBytes, nCountSize, bBigEndian);
    if (nEntries > nFileSize / nEntrySize)
        return false;
    const uint64_t nEnd = nOffset + nCountSize + nEntries * nEntrySize + nFieldSize;
    if (nEnd > nFileSize)
        return false;
    std::vector<uint8_t> entries(static_cast<size_t>(nEntries * nEntrySize));
    if (!entries.empty() && !ReadAt(pTiff, nOffset + nCountSize, entries.data(), entries.size()))
        return false;
    for (uint64_t n = 0; n < nEntries; ++n)
    {
        const uint8_t* pEntry = entries.data() + n * nEntrySize;
        const uint64_t nTypeSize = TypeSize(static_cast<uint16_t>(Unpack(pEntry + 2, 2, bBigEndian)));
        const uint64_t nCount = Unpack(pEntry + 4, nFieldSize, bBigEndian);
        if (nTypeSize == 0 || nCount > nFileSize)
        {
            if (nTypeSize == 0)
                continue;
            return false;
        }
        const uint64_t nBytes = nCount * nTypeSize;
        if (nBytes <= nFieldSize)
            continue; // the value is held in the entry itself
        const uint64_t nValueOffset = Unpack(pEntry + 4 + nFieldSize, nFieldSize, bBigEndian);
        if (nValueOffset > nFileSize || nBytes > nFileSize - nValueOffset)
            return false;
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
        if (!DirectoryInside(pTiff.get(), nFileSize))
        {
            szProblem = L"The TIFF file is incomplete: the directory of page " + std::to_wstring(nPage) +
                        L" reaches beyond its end.";
            return false;
        }
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
