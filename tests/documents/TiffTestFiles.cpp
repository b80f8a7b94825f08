// Test support for the TIFF document.
#include "tests/documents/TiffTestFiles.h"

#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>
#include <fstream>
#include <sstream>

bool MakeTiff(const std::string& szPath, int nPages, const std::string& szDevice,
              const std::string& szCompression)
{
    const std::string szWork = szPath + ".pages";
    std::filesystem::create_directories(szWork);
    std::ostringstream ps;
    ps << "%!PS\n";
    for (int n = 1; n <= nPages; ++n)
        ps << "<< /PageSize [" << PageWidth(n) << " " << kPageHeight << "] >> setpagedevice\n"
           << "0 setgray 10 " << kPageHeight - 50 << " 40 40 rectfill showpage\n";
    {
        std::ofstream file(szWork + "/pages.ps");
        file << ps.str();
    }
    std::string szJoin = "tiffcp " + (szCompression.empty() ? std::string() : "-c " + szCompression + " ");
    for (int n = 1; n <= nPages; ++n)
        szJoin += "'" + szWork + "/p" + std::to_string(n) + ".tif' ";
    const bool bMade =
        CTestProcess::Shell("gs -q -dSAFER -dNOPAUSE -dBATCH -r72 -sDEVICE=" + szDevice + " -sOutputFile='" +
                            szWork + "/p%d.tif' '" + szWork + "/pages.ps'") == 0 &&
        CTestProcess::Shell(szJoin + "'" + szPath + "'") == 0;
    std::filesystem::remove_all(szWork);
    if (!bMade)
        ADD_FAILURE() << "could not make " << szPath;
    return bMade;
}

std::vector<std::pair<unsigned, unsigned>> ReadPageSizes(const std::string& szPath)
{
    std::vector<std::pair<unsigned, unsigned>> sizes;
    TIFF* pTiff = TIFFOpen(szPath.c_str(), "r");
    if (!pTiff)
        return sizes;
    do
    {
        uint32_t nWidth = 0;
        uint32_t nHeight = 0;
        TIFFGetField(pTiff, TIFFTAG_IMAGEWIDTH, &nWidth);
        TIFFGetField(pTiff, TIFFTAG_IMAGELENGTH, &nHeight);
        sizes.emplace_back(nWidth, nHeight);
    } while (TIFFReadDirectory(pTiff));
    TIFFClose(pTiff);
    return sizes;
}

void WritePrefix(const std::string& szSource, const std::string& szTarget, size_t nBytes)
{
    const std::string szBytes = tests::ReadFile(szSource);
    EXPECT_TRUE(tests::WriteFile(szTarget, std::string_view(szBytes).substr(0, nBytes))) << szTarget;
}
