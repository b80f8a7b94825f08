// The display image of FreeImagePlus's Windows class layer, which Linux builds of FreeImagePlus
// lack: a copy of an image that is drawn onto a device context, with the conversion of any image
// type to a displayable bitmap. Only what the documents use.
#pragma once

#include <FreeImagePlus.h>

#ifndef _WIN32

#include "documents/CDC.h"

class fipWinImage : public fipImage
{
public:
    fipWinImage(FREE_IMAGE_TYPE imageType = FIT_BITMAP, unsigned nWidth = 0, unsigned nHeight = 0,
                unsigned nBpp = 0);
    ~fipWinImage() override;
    fipWinImage(const fipWinImage&) = delete;

    // Frees the image and the display bitmap.
    void clear() override;
    // Copies the image of src (a clone); the display bitmap is made again at the next drawing.
    fipWinImage& operator=(const fipImage& src);
    // Also copies the tone-mapping operator and its parameters.
    fipWinImage& operator=(const fipWinImage& src);

    // Draws the image over rcDest of the device context hDC in the context's stretch mode.
    // Nothing for an empty image or a null handle.
    void draw(HDC hDC, RECT& rcDest);

    // The tone-mapping operator that draws high-dynamic-range images; marks the image changed.
    void setToneMappingOperator(FREE_IMAGE_TMO tmo, double dFirst = 0, double dSecond = 0, double dThird = 1,
                                double dFourth = 0);
    void getToneMappingOperator(FREE_IMAGE_TMO* pTmo, double* pFirst, double* pSecond, double* pThird,
                                double* pFourth) const;

protected:
    // Makes the display bitmap again when the image changed since the last drawing; the result is
    // null for an empty image. The bitmap stays owned by this object.
    FIBITMAP* UpdateDisplayDib();
    void FreeDisplayDib();

    FIBITMAP* m_pDisplayDib = nullptr;
    bool m_bDeleteMe = false; // m_pDisplayDib was made by the drawing, not the image itself
    FREE_IMAGE_TMO m_tmo = FITMO_DRAGO03;
    double m_dTmoParam1 = 0;
    double m_dTmoParam2 = 0;
    double m_dTmoParam3 = 1;
    double m_dTmoParam4 = 0;
};

#endif // _WIN32
