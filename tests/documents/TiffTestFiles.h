// Test support for the TIFF document: temporary directories and TIFF files made by independent
// tools (Ghostscript renders the pages, libtiff's tiffcp joins them), and an independent reader of
// TIFF page sizes on libtiff.
#pragma once

#include <string>
#include <utility>
#include <vector>

// A fresh directory under the system's temporary directory, removed with its content at the end.
class CTempDir
{
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_szPath; }
    // The path of a file in the directory, narrow and wide.
    std::string File(const std::string& szName) const { return m_szPath + "/" + szName; }
    std::wstring WideFile(const std::string& szName) const;

private:
    std::string m_szPath;
};

// Runs a shell command; its exit code (-1 when it could not run).
int RunCommand(const std::string& szCommand);

// Writes an nPages-page TIFF to szPath: page n is 200 + 20 * n by 300 pixels, white with a black
// 40 x 40 square 10 pixels in from the top left corner. szDevice is Ghostscript's TIFF device
// ("tiffg4", "tiffgray", "tiff24nc"); szCompression goes to tiffcp -c ("" keeps the device's).
// Fails the calling test (ADD_FAILURE) and returns false when a tool fails.
bool MakeTiff(const std::string& szPath, int nPages, const std::string& szDevice = "tiffg4",
              const std::string& szCompression = "");

// The width of page n of the file above.
inline int PageWidth(int nPage)
{
    return 200 + 20 * nPage;
}
inline constexpr int kPageHeight = 300;

// Width and height of every page of a TIFF, read by libtiff directly; empty when it cannot be read.
std::vector<std::pair<unsigned, unsigned>> ReadPageSizes(const std::string& szPath);

// Copies the first nBytes of szSource to szTarget.
void WritePrefix(const std::string& szSource, const std::string& szTarget, size_t nBytes);

// The whole content of a file.
std::string ReadFileBytes(const std::string& szPath);
