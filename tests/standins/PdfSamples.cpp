// Test PDFs made by independent producers.
#include "tests/standins/PdfSamples.h"

#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace
{

// Runs the program to its end with its output dropped; true when it exited with 0.
bool Run(const std::vector<std::string>& args)
{
    CTestProcess::SOptions options;
    options.m_outputFile = "/dev/null";
    return CTestProcess::Run(args, options) == 0;
}

} // namespace

std::string CPdfSamples::Ghostscript(const std::string& szName, int nPages)
{
    const std::string szPath = PathOf(szName);
    const std::string szScript = PathOf(szName + ".ps");
    tests::WriteFile(szScript, "/Helvetica findfont 48 scalefont setfont\n1 1 " + std::to_string(nPages) +
                                   " { 72 720 moveto (Page ) show 8 string cvs show showpage } for\n");
    if (!Run({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite", "-sPAPERSIZE=a4",
              "-dFIXEDMEDIA", "-o", szPath, szScript}))
        throw std::runtime_error("gs failed");
    return szPath;
}

std::string CPdfSamples::Cairo(const std::string& szName, int nPages)
{
    const std::string szPath = PathOf(szName);
    const std::string szScript = PathOf(szName + ".py");
    tests::WriteFile(szScript, "import cairo, sys\n"
                               "s = cairo.PDFSurface(sys.argv[1], 300, 400)\n"
                               "c = cairo.Context(s)\n"
                               "for n in range(1, int(sys.argv[2]) + 1):\n"
                               "    c.select_font_face('sans')\n"
                               "    c.set_font_size(36)\n"
                               "    c.move_to(30, 80)\n"
                               "    c.show_text('Page %d' % n)\n"
                               "    c.show_page()\n"
                               "s.finish()\n");
    if (!Run({"/usr/bin/python3", szScript, szPath, std::to_string(nPages)}))
        throw std::runtime_error("cairo failed");
    return szPath;
}

std::string CPdfSamples::Linearized(const std::string& szName, const std::string& szSource)
{
    const std::string szPath = PathOf(szName);
    if (!Run({"qpdf", "--linearize", szSource, szPath}))
        throw std::runtime_error("qpdf --linearize failed");
    return szPath;
}

std::string CPdfSamples::ObjectStreams(const std::string& szName, const std::string& szSource)
{
    const std::string szPath = PathOf(szName);
    if (!Run({"qpdf", "--object-streams=generate", szSource, szPath}))
        throw std::runtime_error("qpdf --object-streams failed");
    return szPath;
}

std::string CPdfSamples::Incremental(const std::string& szName, const std::string& szSource)
{
    // An update section as a PDF writer appends it: one new object, a cross-reference section for
    // it and a trailer pointing back at the previous one.
    std::string szData = tests::ReadFile(szSource);
    // The number after the last occurrence of szKey (and its blank), or "" when there is none.
    auto numberAfter = [&](const std::string& szKey)
    {
        const size_t nAt = szData.rfind(szKey);
        if (nAt == std::string::npos)
            return std::string();
        size_t nStart = nAt + szKey.size();
        while (nStart < szData.size() && std::isspace(static_cast<unsigned char>(szData[nStart])))
            ++nStart;
        size_t nEnd = nStart;
        while (nEnd < szData.size() && std::isdigit(static_cast<unsigned char>(szData[nEnd])))
            ++nEnd;
        return szData.substr(nStart, nEnd - nStart);
    };
    const std::string szRoot = numberAfter("/Root"), szSize = numberAfter("/Size"),
                      szStart = numberAfter("startxref");
    if (szRoot.empty() || szSize.empty() || szStart.empty())
        throw std::runtime_error("no classic trailer in " + szSource);
    const int nObject = std::stoi(szSize);
    const size_t nOffset = szData.size();
    char szEntry[32];
    std::snprintf(szEntry, sizeof szEntry, "%010zu 00000 n \n", nOffset);
    std::string szUpdate = std::to_string(nObject) + " 0 obj\n<< /Producer (Tarvik test update) >>\nendobj\n";
    const size_t nXref = nOffset + szUpdate.size();
    szUpdate += "xref\n0 1\n0000000000 65535 f \n" + std::to_string(nObject) + " 1\n" + szEntry +
                "trailer\n<< /Size " + std::to_string(nObject + 1) + " /Root " + szRoot + " 0 R /Info " +
                std::to_string(nObject) + " 0 R /Prev " + szStart + " >>\nstartxref\n" +
                std::to_string(nXref) + "\n%%EOF\n";
    const std::string szPath = PathOf(szName);
    tests::WriteFile(szPath, szData + szUpdate);
    return szPath;
}

std::string CPdfSamples::Cut(const std::string& szName, const std::string& szSource, size_t nLength)
{
    const std::string szPath = PathOf(szName);
    tests::WriteFile(szPath, tests::ReadFile(szSource).substr(0, nLength));
    return szPath;
}

int CPdfSamples::QpdfPageCount(const std::string& szPath)
{
    int nResult = -1;
    const std::string szOutput = CTestProcess::Output({"qpdf", "--show-npages", szPath}, &nResult);
    int nPages = -1;
    if (nResult != 0 || std::sscanf(szOutput.c_str(), "%d", &nPages) != 1)
        return -1;
    return nPages;
}

std::string CPdfSamples::PageText(const std::string& szPath, int nPage)
{
    const std::string szPage = std::to_string(nPage);
    const std::string szText =
        CTestProcess::Output({"pdftotext", "-q", "-f", szPage, "-l", szPage, szPath, "-"});
    std::string szCollapsed;
    for (char ch : szText)
    {
        const bool bSpace = ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t' || ch == '\f';
        if (!bSpace)
            szCollapsed += ch;
        else if (!szCollapsed.empty() && szCollapsed.back() != ' ')
            szCollapsed += ' ';
    }
    while (!szCollapsed.empty() && szCollapsed.back() == ' ')
        szCollapsed.pop_back();
    return szCollapsed;
}
