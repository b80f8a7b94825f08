// The documents' display image, drawn with area averaging.
#include "documents/fipWinImageEx.h"

void fipWinImageEx::DrawHalftone(HDC hDC, RECT& rcDest)
{
    CDC* pDC = CDC::FromHandle(hDC);
    if (!pDC)
        return;
    pDC->SetStretchMode(HALFTONE);
    draw(hDC, rcDest);
}
