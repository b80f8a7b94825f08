// The device context: a memory raster of 32-bit pixels that documents draw pages into, with the
// one stretch operation the documents need. Stands in for the framework's device context, of
// which documents use only the handle m_hDC.
#pragma once

#include <cstdint>
#include <vector>

#include "standins/pdflib/SDeviceContext.h"

// A rectangle in device pixels; right and bottom lie just outside it.
struct RECT
{
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Stretch modes (SetStretchMode).
inline constexpr int COLORONCOLOR = 3;
inline constexpr int HALFTONE = 4;

class CDC
{
public:
    // A raster of nWidth x nHeight pixels (negative sizes count as 0), all white.
    CDC(int nWidth, int nHeight);
    virtual ~CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // The CDC that owns hDC, or nullptr for a null handle.
    static CDC* FromHandle(HDC hDC);

    int GetWidth() const { return m_context.nWidth; }
    int GetHeight() const { return m_context.nHeight; }
    // Pixel (0x00RRGGBB) at x, y; 0 outside the raster.
    uint32_t GetPixel(int x, int y) const;
    void SetPixel(int x, int y, uint32_t nColor);
    // Fills the whole raster with one colour.
    void Fill(uint32_t nColor);

    // Sets the stretch mode (HALFTONE or COLORONCOLOR); returns the previous one.
    int SetStretchMode(int nMode);

    // Stretches a 32-bit source bitmap (nSrcWidth x nSrcHeight pixels, rows nSrcPitch bytes apart,
    // bottom-up when bBottomUp as in a DIB) over the destination rectangle x, y, nDestWidth,
    // nDestHeight, clipped to the raster. In HALFTONE mode every destination pixel is the area
    // average of the source pixels it covers; otherwise the nearest source pixel. A negative
    // destination width or height mirrors the image. Returns the number of source rows used, 0 for
    // an empty or invalid source.
    int StretchDIBits(int x, int y, int nDestWidth, int nDestHeight, const uint32_t* pBits, int nSrcWidth,
                      int nSrcHeight, int nSrcPitch, bool bBottomUp);

    // The handle that drawing calls take; it stays valid for the life of this object.
    HDC m_hDC;

private:
    std::vector<uint32_t> m_pixels;
    SDeviceContext m_context;
};
