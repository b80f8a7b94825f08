// Benchmark: time to open page 1 of a 3-page TIFF, count its pages and close it, through the TIFF
// document (FreeImage, with the completeness check) and, beside it, libtiff alone reading the same
// directories. Run by hand: bench_tiff [file.tif]; without a file it makes one with Ghostscript and
// tiffcp (A4 pages at 200 dpi, G4).
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "documents/CTifDoc.h"
#include "documents/TiffCompleteness.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"

namespace
{

double MedianMicroseconds(const std::function<void()>& work, int nRuns)
{
    std::vector<double> times;
    for (int n = 0; n < nRuns; ++n)
    {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool MakeThreePages(const std::string& szDir, const std::string& szFile)
{
    const std::string szPs = szDir + "/pages.ps";
    FILE* pPs = std::fopen(szPs.c_str(), "w");
    if (!pPs)
        return false;
    std::fputs("%!PS\n/Helvetica findfont 40 scalefont setfont\n"
               "1 1 3 { 72 700 moveto (Page ) show 3 string cvs show showpage } for\n",
               pPs);
    std::fclose(pPs);
    const std::string szGs =
        "gs -q -dSAFER -dNOPAUSE -dBATCH -r200 -sPAPERSIZE=a4 -sDEVICE=tiffg4 -sOutputFile='" + szDir +
        "/p%d.tif' '" + szPs + "'";
    const std::string szJoin =
        "tiffcp '" + szDir + "/p1.tif' '" + szDir + "/p2.tif' '" + szDir + "/p3.tif' '" + szFile + "'";
    return CTestProcess::Shell(szGs) == 0 && CTestProcess::Shell(szJoin) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string szFile;
    std::optional<CTempDir> work;
    if (argc > 1)
        szFile = argv[1];
    else
    {
        work.emplace("bench-tiff");
        szFile = work->Native("three.tif");
        if (!MakeThreePages(work->Native(), szFile))
        {
            std::fprintf(stderr, "could not make the TIFF\n");
            return 1;
        }
    }
    TIFFSetWarningHandler(nullptr);
    const std::wstring szWide(szFile.begin(), szFile.end());
    int nPages = 0;
    const double dDoc = MedianMicroseconds(
        [&]
        {
            CTifDoc doc(szWide);
            doc.Open(1);
            nPages = doc.GetPagesCount();
            doc.Close();
        },
        200);
    int nDirs = 0;
    const double dLibTiff = MedianMicroseconds(
        [&]
        {
            TIFF* pTiff = TIFFOpen(szFile.c_str(), "rm");
            nDirs = pTiff ? TIFFNumberOfDirectories(pTiff) : 0;
            if (pTiff)
                TIFFClose(pTiff);
        },
        200);
    bool bComplete = false;
    const double dCheck = MedianMicroseconds(
        [&]
        {
            std::wstring szProblem;
            bComplete = IsTiffComplete(szFile, szProblem);
        },
        200);
    std::printf("%-40s %10s %8s\n", "3-page TIFF (open page 1, count, close)", "median us", "pages");
    std::printf("%-40s %10.1f %8d\n", "CTifDoc", dDoc, nPages);
    std::printf("%-40s %10.1f %8d\n", "libtiff directories only", dLibTiff, nDirs);
    std::printf("%-40s %10.1f %8d\n", "completeness check alone (in CTifDoc)", dCheck, bComplete ? 1 : 0);
    return 0;
}
