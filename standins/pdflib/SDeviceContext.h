/* Part of the PDF library's exported interface: the raster behind a device context handle (HDC),
 * laid out in plain C so that the PDF library, a separate shared library, can draw into it. Pixels are 32-bit 0x00RRGGBB values (blue in the
 * lowest byte, as in a Windows 32-bit DIB), rows top-down, nStride pixels apart. */
#pragma once

#include <stdint.h>

struct SDeviceContext
{
    int32_t nWidth;
    int32_t nHeight;
    int32_t nStride;   /* pixels from one row to the next */
    uint32_t* pPixels; /* nStride * nHeight pixels, owned by the CDC */
    int32_t nStretchMode;
    void* pOwner; /* the CDC that owns this context */
};

typedef struct SDeviceContext* HDC;
