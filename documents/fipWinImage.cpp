// The display image of FreeImagePlus's Windows class layer, for Linux.
#include "documents/fipWinImage.h"

#ifndef _WIN32

#include <vector>

fipWinImage::fipWinImage(FREE_IMAGE_TYPE imageType, unsigned nWidth, unsigned nHeight, unsigned nBpp)
    : fipImage(imageType, nWidth, nHeight, nBpp)
{
}

fipWinImage::~fipWinImage()
{
    FreeDisplayDib();
}

void fipWinImage::clear()
{
    FreeDisplayDib();
    fipImage::clear();
}

fipWinImage& fipWinImage::operator=(const fipImage& src)
{
    if (this != &src)
    {
        FreeDisplayDib();
        fipImage::operator=(src);
        _bHasChanged = TRUE;
    }
    return *this;
}

fipWinImage& fipWinImage::operator=(const fipWinImage& src)
{
    if (this != &src)
    {
        *this = static_cast<const fipImage&>(src);
        m_tmo = src.m_tmo;
        m_dTmoParam1 = src.m_dTmoParam1;
        m_dTmoParam2 = src.m_dTmoParam2;
        m_dTmoParam3 = src.m_dTmoParam3;
        m_dTmoParam4 = src.m_dTmoParam4;
    }
    return *this;
}

void fipWinImage::setToneMappingOperator(FREE_IMAGE_TMO tmo, double dFirst, double dSecond, double dThird,
                                         double dFourth)
{
    m_tmo = tmo;
    m_dTmoParam1 = dFirst;
    m_dTmoParam2 = dSecond;
    m_dTmoParam3 = dThird;
    m_dTmoParam4 = dFourth;
    _bHasChanged = TRUE;
}

void fipWinImage::getToneMappingOperator(FREE_IMAGE_TMO* pTmo, double* pFirst, double* pSecond,
                                         double* pThird, double* pFourth) const
{
    *pTmo = m_tmo;
    *pFirst = m_dTmoParam1;
    *pSecond = m_dTmoParam2;
    *pThird = m_dTmoParam3;
    *pFourth = m_dTmoParam4;
}

void fipWinImage::FreeDisplayDib()
{
    if (m_bDeleteMe && m_pDisplayDib)
        FreeImage_Unload(m_pDisplayDib);
    m_pDisplayDib = nullptr;
    m_bDeleteMe = false;
}

FIBITMAP* fipWinImage::UpdateDisplayDib()
{
    if (!_dib)
    {
        FreeDisplayDib();
        return nullptr;
    }
    if (m_pDisplayDib && !_bHasChanged)
        return m_pDisplayDib;

    FreeDisplayDib();
    FIBITMAP* pMade = nullptr;
    switch (FreeImage_GetImageType(_dib))
    {
    case FIT_BITMAP:
        if (FreeImage_IsTransparent(_dib))
            pMade = FreeImage_Composite(_dib);
        break;
    case FIT_COMPLEX:
        if (FIBITMAP* pMagnitude = FreeImage_GetComplexChannel(_dib, FICC_MAG))
        {
            pMade = FreeImage_ConvertToStandardType(pMagnitude, TRUE);
            FreeImage_Unload(pMagnitude);
        }
        break;
    case FIT_RGB16:
    case FIT_RGBF:
    case FIT_RGBAF:
        pMade = m_tmo == FITMO_REINHARD05
                    ? FreeImage_TmoReinhard05Ex(_dib, m_dTmoParam1, m_dTmoParam2, m_dTmoParam3, m_dTmoParam4)
                    : FreeImage_ToneMapping(_dib, m_tmo, m_dTmoParam1, m_dTmoParam2);
        break;
    case FIT_RGBA16:
        if (FIBITMAP* p32 = FreeImage_ConvertTo32Bits(_dib))
        {
            pMade = FreeImage_Composite(p32);
            FreeImage_Unload(p32);
        }
        break;
    default:
        pMade = FreeImage_ConvertToStandardType(_dib, TRUE);
        break;
    }
    // Plain bitmaps are drawn as they are; so is the image when a conversion fails.
    m_pDisplayDib = pMade ? pMade : _dib;
    m_bDeleteMe = pMade != nullptr;
    _bHasChanged = FALSE;
    return m_pDisplayDib;
}

void fipWinImage::draw(HDC hDC, RECT& rcDest)
{
    CDC* pDC = CDC::FromHandle(hDC);
    FIBITMAP* pDib = UpdateDisplayDib();
    if (!pDC || !pDib)
        return;
    FIBITMAP* p32 = FreeImage_ConvertTo32Bits(pDib);
    if (!p32)
        return;
    // The device context takes 0x00RRGGBB pixels: the alpha byte of FreeImage's 32-bit bitmaps is
    // cleared on the way.
    const unsigned nWidth = FreeImage_GetWidth(p32);
    const unsigned nHeight = FreeImage_GetHeight(p32);
    std::vector<uint32_t> pixels(static_cast<size_t>(nWidth) * nHeight);
    for (unsigned y = 0; y < nHeight; ++y)
    {
        const uint32_t* pRow = reinterpret_cast<const uint32_t*>(FreeImage_GetScanLine(p32, y));
        for (unsigned x = 0; x < nWidth; ++x)
            pixels[static_cast<size_t>(y) * nWidth + x] = pRow[x] & 0x00FFFFFFu;
    }
    FreeImage_Unload(p32);
    pDC->StretchDIBits(rcDest.left, rcDest.top, rcDest.right - rcDest.left, rcDest.bottom - rcDest.top,
                       pixels.data(), static_cast<int>(nWidth), static_cast<int>(nHeight),
                       static_cast<int>(nWidth * 4), true);
}

#endif // _WIN32
