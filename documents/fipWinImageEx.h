// The documents' display image: FreeImagePlus's display image drawn with area averaging, so that
// pages shrunk onto a small raster keep their thin lines as grey instead of dropping them.
#pragma once

#include "documents/fipWinImage.h"

class fipWinImageEx : public fipWinImage
{
public:
    using fipWinImage::operator=;

    // Draws the image over rcDest of hDC with the context's stretch mode set to halftone.
    void DrawHalftone(HDC hDC, RECT& rcDest);
};
