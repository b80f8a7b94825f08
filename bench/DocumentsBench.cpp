// Time to open a document at page 1, count its pages and close it: PDFs through CQuickPdfDoc, and
// poppler-cpp doing the same work (open, page 1's size, page count) on the same files. The PDFs
// are made by Ghostscript in a temporary directory. Run by hand: bench_documents [iterations].
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-page.h>
#include <string>
#include <vector>

#include "documents/CreateImgDoc.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"

namespace
{

std::string MakePdf(const std::string& szDir, int nPages)
{
    const std::string szPath = szDir + "/pages-" + std::to_string(nPages) + ".pdf";
    const std::string szScript = szPath + ".ps";
    std::ofstream(szScript) << "/Helvetica findfont 24 scalefont setfont\n1 1 " << nPages
                            << " { 72 720 moveto (Page ) show 8 string cvs show showpage } for\n";
    CTestProcess::SOptions options;
    options.m_outputFile = "/dev/null";
    if (CTestProcess::Run({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite",
                           "-sPAPERSIZE=a4", "-o", szPath, szScript},
                          options) != 0)
    {
        std::fprintf(stderr, "gs failed for %d pages\n", nPages);
        std::exit(1);
    }
    return szPath;
}

// Median time of one run in microseconds.
double MedianMicroseconds(int nIterations, const std::function<bool()>& run)
{
    std::vector<double> times;
    for (int n = 0; n < nIterations; ++n)
    {
        const auto start = std::chrono::steady_clock::now();
        if (!run())
        {
            std::fprintf(stderr, "a run failed\n");
            std::exit(1);
        }
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool OpenCountClose(const std::wstring& szPath, int nPages)
{
    boost::shared_ptr<IImgDoc> pDoc = CreateImgDoc(szPath.c_str());
    std::wstring szError;
    if (!pDoc->Open(1, szError))
        return false;
    const bool bCounted = pDoc->GetPagesCount() == nPages;
    pDoc->Close();
    return bCounted;
}

bool PopplerOpenSizeCount(const std::string& szPath, int nPages)
{
    std::unique_ptr<poppler::document> pDocument(poppler::document::load_from_file(szPath));
    if (!pDocument)
        return false;
    std::unique_ptr<poppler::page> pPage(pDocument->create_page(0));
    if (!pPage || pPage->page_rect(poppler::media_box).width() <= 0)
        return false;
    return pDocument->pages() == nPages;
}

} // namespace

int main(int argc, char** argv)
{
    const int nIterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    // The benchmark does not lie in bin/ beside the PDF library.
    CIsolatedEnvironment environment;
    if (std::getenv("TARVIK_LIBRARY_PATH") == nullptr)
        environment.Set("TARVIK_LIBRARY_PATH", TARVIK_BIN_DIR);
    const CTempDir work("bench");
    const std::string szDir = work.Native();
    std::printf("%-22s %14s %14s %8s\n", "document", "CQuickPdfDoc", "poppler-cpp", "ratio");
    for (int nPages : {1, 2000})
    {
        const std::string szPath = MakePdf(szDir, nPages);
        const std::wstring szWide(szPath.begin(), szPath.end());
        // Warm the page cache and the library loading for both sides.
        OpenCountClose(szWide, nPages);
        PopplerOpenSizeCount(szPath, nPages);
        const double dOurs = MedianMicroseconds(nIterations, [&] { return OpenCountClose(szWide, nPages); });
        const double dPoppler =
            MedianMicroseconds(nIterations, [&] { return PopplerOpenSizeCount(szPath, nPages); });
        std::printf("PDF, %4d page(s)       %11.1f us %11.1f us %7.1fx\n", nPages, dOurs, dPoppler,
                    dPoppler / dOurs);
    }
    return 0;
}
