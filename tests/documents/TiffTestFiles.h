// Test support for the TIFF document: TIFF files made by independent tools (Ghostscript renders the pages,
// libtiff's tiffcp joins them), and an independent reader of TIFF page sizes on libtiff.
#pragma once

#include <string>
#include <utility>
#include <vector>

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
