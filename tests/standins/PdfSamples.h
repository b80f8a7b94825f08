// Test PDFs made at test time by independent producers (Ghostscript, cairo, qpdf) in a temporary
// directory, and a few helpers that read PDFs with independent tools (qpdf, pdftotext).
#pragma once

#include "tests/support/CTempDir.h"

#include <string>
#include <vector>

class CPdfSamples
{
public:
    // A fresh temporary directory, removed with the object.
    CPdfSamples() = default;
    virtual ~CPdfSamples() = default;
    CPdfSamples(const CPdfSamples&) = delete;
    CPdfSamples& operator=(const CPdfSamples&) = delete;

    std::string Dir() const { return m_dir.Native(); }
    std::string PathOf(const std::string& szName) const { return m_dir.Native(szName); }

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

    // Page count as qpdf reports it (-1 on failure).
    static int QpdfPageCount(const std::string& szPath);
    // The text of one page as pdftotext reads it, white space collapsed.
    static std::string PageText(const std::string& szPath, int nPage);

private:
    CTempDir m_dir{"pdf"};
};
