// The memory device context and its stretch of bitmaps.
#include "documents/CDC.h"

#include <algorithm>
#include <cmath>

namespace
{

// One source pixel's share in a destination pixel along one axis.
struct SSpan
{
    int nSource;
    double dWeight;
};

// For each of nDest destination cells, the source cells it covers and their coverage, so that a
// cell's weights add up to 1.
std::vector<std::vector<SSpan>> AreaSpans(int nDest, int nSource)
{
    std::vector<std::vector<SSpan>> spans(nDest);
    const double dScale = static_cast<double>(nSource) / nDest;
    for (int d = 0; d < nDest; ++d)
    {
        const double dStart = d * dScale;
        const double dEnd = (d + 1) * dScale;
        int s = static_cast<int>(std::floor(dStart));
        for (; s < nSource && s < dEnd; ++s)
        {
            const double dCover = std::min<double>(s + 1, dEnd) - std::max<double>(s, dStart);
            if (dCover > 1e-12)
                spans[d].push_back({s, dCover / dScale});
        }
        if (spans[d].empty())
            spans[d].push_back({std::min(s, nSource - 1), 1.0});
    }
    return spans;
}

std::vector<int> NearestSource(int nDest, int nSource)
{
    std::vector<int> nearest(nDest);
    for (int d = 0; d < nDest; ++d)
        nearest[d] = std::min(nSource - 1, static_cast<int>((d + 0.5) * nSource / nDest));
    return nearest;
}

} // namespace

CDC::CDC(int nWidth, int nHeight)
{
    nWidth = std::max(0, nWidth);
    nHeight = std::max(0, nHeight);
    m_pixels.assign(static_cast<size_t>(nWidth) * nHeight, 0xFFFFFFu);
    m_context.nWidth = nWidth;
    m_context.nHeight = nHeight;
    m_context.nStride = nWidth;
    m_context.pPixels = m_pixels.data();
    m_context.nStretchMode = COLORONCOLOR;
    m_context.pOwner = this;
    m_hDC = &m_context;
}

CDC* CDC::FromHandle(HDC hDC)
{
    return hDC ? static_cast<CDC*>(hDC->pOwner) : nullptr;
}

uint32_t CDC::GetPixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight())
        return 0;
    return m_pixels[static_cast<size_t>(y) * m_context.nStride + x];
}

void CDC::SetPixel(int x, int y, uint32_t nColor)
{
    if (x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight())
        return;
    m_pixels[static_cast<size_t>(y) * m_context.nStride + x] = nColor & 0xFFFFFFu;
}

void CDC::Fill(uint32_t nColor)
{
    std::fill(m_pixels.begin(), m_pixels.end(), nColor & 0xFFFFFFu);
}

int CDC::SetStretchMode(int nMode)
{
    const int nPrevious = m_context.nStretchMode;
    m_context.nStretchMode = nMode;
    return nPrevious;
}

int CDC::StretchDIBits(int x, int y, int nDestWidth, int nDestHeight, const uint32_t* pBits, int nSrcWidth,
                       int nSrcHeight, int nSrcPitch, bool bBottomUp)
{
    if (!pBits || nSrcWidth <= 0 || nSrcHeight <= 0 || nSrcPitch < nSrcWidth * 4)
        return 0;
    bool bMirrorX = false;
    bool bMirrorY = false;
    if (nDestWidth < 0)
    {
        x += nDestWidth;
        nDestWidth = -nDestWidth;
        bMirrorX = true;
    }
    if (nDestHeight < 0)
    {
        y += nDestHeight;
        nDestHeight = -nDestHeight;
        bMirrorY = true;
    }
    if (nDestWidth == 0 || nDestHeight == 0)
        return nSrcHeight;

    auto sourceRow = [&](int nRow)
    {
        const int nStored = bBottomUp ? nSrcHeight - 1 - nRow : nRow;
        return reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(pBits) +
                                                 static_cast<size_t>(nStored) * nSrcPitch);
    };
    // Only the visible part of the destination is computed.
    const int nFirstX = std::max(0, -x);
    const int nLastX = std::min(nDestWidth, GetWidth() - x);
    const int nFirstY = std::max(0, -y);
    const int nLastY = std::min(nDestHeight, GetHeight() - y);

    if (m_context.nStretchMode == HALFTONE)
    {
        const auto spansX = AreaSpans(nDestWidth, nSrcWidth);
        const auto spansY = AreaSpans(nDestHeight, nSrcHeight);
        for (int dy = nFirstY; dy < nLastY; ++dy)
        {
            const auto& rowSpans = spansY[bMirrorY ? nDestHeight - 1 - dy : dy];
            for (int dx = nFirstX; dx < nLastX; ++dx)
            {
                const auto& colSpans = spansX[bMirrorX ? nDestWidth - 1 - dx : dx];
                double dRed = 0, dGreen = 0, dBlue = 0;
                for (const SSpan& sy : rowSpans)
                {
                    const uint32_t* pRow = sourceRow(sy.nSource);
                    for (const SSpan& sx : colSpans)
                    {
                        const uint32_t nPixel = pRow[sx.nSource];
                        const double dWeight = sy.dWeight * sx.dWeight;
                        dRed += dWeight * ((nPixel >> 16) & 0xFF);
                        dGreen += dWeight * ((nPixel >> 8) & 0xFF);
                        dBlue += dWeight * (nPixel & 0xFF);
                    }
                }
                auto channel = [](double d)
                { return static_cast<uint32_t>(std::clamp(std::lround(d), 0L, 255L)); };
                SetPixel(x + dx, y + dy, channel(dRed) << 16 | channel(dGreen) << 8 | channel(dBlue));
            }
        }
    }
    else
    {
        const auto nearestX = NearestSource(nDestWidth, nSrcWidth);
        const auto nearestY = NearestSource(nDestHeight, nSrcHeight);
        for (int dy = nFirstY; dy < nLastY; ++dy)
        {
            const uint32_t* pRow = sourceRow(nearestY[bMirrorY ? nDestHeight - 1 - dy : dy]);
            for (int dx = nFirstX; dx < nLastX; ++dx)
                SetPixel(x + dx, y + dy, pRow[nearestX[bMirrorX ? nDestWidth - 1 - dx : dx]]);
        }
    }
    return nSrcHeight;
}
