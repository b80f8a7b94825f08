// Test PDFs made by independent producers.
#include "tests/standins/PdfSamples.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

CPdfSamples::CPdfSamples()
{
    std::string szTemplate = (std::filesystem::temp_directory_path() / "tarvik-pdf-XXXXXX").string();
    if (!mkdtemp(szTemplate.data()))
        throw std::runtime_error("mkdtemp failed");
    m_szDir = szTemplate;
}

CPdfSamples::~CPdfSamples()
{
    std::error_code error;
    std::filesystem::remove_all(m_szDir, error);
}

bool CPdfSamples::Run(const std::string& szCommand)
{
    return std::system(szCommand.c_str()) == 0;
}

std::string CPdfSamples::ReadFile(const std::string& szPath)
{
    std::ifstream file(szPath, std::ios::binary);
    std::ostringstream data;
    data << file.rdbuf();
    return data.str();
}

void CPdfSamples::WriteFile(const std::string& szPath, const std::string& szData)
{
    std::ofstream file(szPath, std::ios::binary | std::ios::trunc);
    file.write(szData.data(), static_cast<std::streamsize>(szData.size()));
}

std::string CPdfSamples::Ghostscript(const std::string& szName, int nPages)
{
    const std::string szPath = PathOf(szName);
    const std::string szScript = PathOf(szName + ".ps");
    WriteFile(szScript, "/Helvetica findfont 48 scalefont setfont\n1 1 " + std::to_string(nPages) +
                            " { 72 720 moveto (Page ) show 8 string cvs show showpage } for\n");
    if (!Run("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sPAPERSIZE=a4 -dFIXEDMEDIA -o '" + szPath +
             "' '" + szScript + "' >/dev/null 2>&1"))
        throw std::runtime_error("gs failed");
    return szPath;
}

std::string CPdfSamples::Cairo(const std::string& szName, int nPages)
{
    const std::string szPath = PathOf(szName);
    const std::string szScript = PathOf(szName + ".py");
    WriteFile(szScript, "import cairo, sys\n"
                        "s = cairo.PDFSurface(sys.argv[1], 300, 400)\n"
                        "c = cairo.Context(s)\n"
                        "for n in range(1, int(sys.argv[2]) + 1):\n"
                        "    c.select_font_face('sans')\n"
                        "    c.set_font_size(36)\n"
                        "    c.move_to(30, 80)\n"
                        "    c.show_text('Page %d' % n)\n"
                        "    c.show_page()\n"
                        "s.finish()\n");
    if (!Run("/usr/bin/python3 '" + szScript + "' '" + szPath + "' " + std::to_string(nPages)))
        throw std::runtime_error("cairo failed");
    return szPath;
}

std::string CPdfSamples::Linearized(const std::string& szName, const std::string& szSource)
{
    const std::string szPath = PathOf(szName);
    if (!Run("qpdf --linearize '" + szSource + "' '" + szPath + "'"))
        throw std::runtime_error("qpdf --linearize failed");
    return szPath;
}

std::string CPdfSamples::ObjectStreams(const std::string& szName, const std::string& szSource)
{
    const std::string szPath = PathOf(szName);
    if (!Run("qpdf --object-streams=generate '" + szSource + "' '" + szPath + "'"))
        throw std::runtime_error("qpdf --object-streams failed");
    return szPath;
}

std::string CPdfSamples::Incremental(const std::string& szName, const std::string& szSource)
{
    // An update section as a PDF writer appends it: one new object, a cross-reference section for
    // it and a trailer pointing back at the previous one.
    std::string szData = ReadFile(szSource);
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
    WriteFile(szPath, szData + szUpdate);
    return szPath;
}

std::string CPdfSamples::Cut(const std::string& szName, const std::string& szSource, size_t nLength)
{
    const std::string szPath = PathOf(szName);
    WriteFile(szPath, ReadFile(szSource).substr(0, nLength));
    return szPath;
}

int CPdfSamples::QpdfPageCount(const std::string& szPath)
{
    FILE* pPipe = popen(("qpdf --show-npages '" + szPath + "' 2>/dev/null").c_str(), "r");
    if (!pPipe)
        return -1;
    int nPages = -1;
    if (std::fscanf(pPipe, "%d", &nPages) != 1)
        nPages = -1;
    return pclose(pPipe) == 0 ? nPages : -1;
}

std::string CPdfSamples::PageText(const std::string& szPath, int nPage)
{
    const std::string szPage = std::to_string(nPage);
    FILE* pPipe = popen(
        ("pdftotext -q -f " + szPage + " -l " + szPage + " '" + szPath + "' - 2>/dev/null").c_str(), "r");
    if (!pPipe)
        return "";
    std::string szText;
    char szChunk[256];
    while (size_t nRead = std::fread(szChunk, 1, sizeof szChunk, pPipe))
        szText.append(szChunk, nRead);
    pclose(pPipe);
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
