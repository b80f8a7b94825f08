// Test PDFs made at test time by independent producers (Ghostscript, cairo, qpdf) in a temporary
// directory, and a few helpers that read PDFs with independent tools (qpdf, pdftotext).
#pragma once

#include <string>
#include <vector>

class CPdfSamples
{
public:
    // A fresh temporary directory, removed with the object.
    CPdfSamples();
    virtual ~CPdfSamples();
    CPdfSamples(const CPdfSamples&) = delete;
    CPdfSamples& operator=(const CPdfSamples&) = delete;

    const std::string& Dir() const { return m_szDir; }
    std::string PathOf(const std::string& szName) const { return m_szDir + "/" + szName; }

    // A4 pages (595 x 842 points) with "Page <n>" in large type near the top, by Ghostscript.
    std::string Ghostscript(const std::string& szName, int nPages);
    // Pages of 300 x 400 points with text, by cairo.
    std::string Cairo(const std::string& szName, int nPages);
    // qpdf --linearize and qpdf --object-streams=generate of another file.
    std::string Linearized(const std::string& szName, const std::string& szSource);
    std::string ObjectStreams(const std::string& szName, const std::string& szSource);
    // szSource with one incremental update appended (a new Info dictionary).
    std::string Incremental(const std::string& szName, const std::string& szSource);

    // Writes the first nLength bytes of szSource to szName.
    std::string Cut(const std::string& szName, const std::string& szSource, size_t nLength);

    static std::string ReadFile(const std::string& szPath);
    static void WriteFile(const std::string& szPath, const std::string& szData);
    // Page count as qpdf reports it (-1 on failure).
    static int QpdfPageCount(const std::string& szPath);
    // The text of one page as pdftotext reads it, white space collapsed.
    static std::string PageText(const std::string& szPath, int nPage);
    // Runs a shell command; true when it exited with 0.
    static bool Run(const std::string& szCommand);

private:
    std::string m_szDir;
};
