// One PDF file opened by the library.
#include "standins/pdflib/CPdfFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>
#include <qpdf/QPDFExc.hh>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "standins/pdflib/PdfCompleteness.h"
#include "standins/pdflib/QuickPDFExports.h"

namespace
{

// Page trees deeper than this are taken as damaged (they also stop reference cycles).
constexpr int kMaxTreeDepth = 64;

// Files up to this size are read into memory, larger ones mapped.
constexpr size_t kMaxReadSize = 256 * 1024;

bool IsIntegerIn(QPDFObjectHandle object, long long nMin, long long nMax)
{
    return object.isInteger() && object.getIntValue() >= nMin && object.getIntValue() <= nMax;
}

} // namespace

CPdfFile::~CPdfFile()
{
    m_pQpdf.reset();
    if (m_pMapped)
        munmap(const_cast<char*>(m_pMapped), m_nSize);
}

int CPdfFile::Open(const std::string& szPath, const std::string& szPassword)
{
    const int nFile = ::open(szPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (nFile < 0)
        return errno == ENOENT || errno == ENOTDIR ? kPdfErrorFileNotFound : kPdfErrorCannotOpenInput;
    struct stat info = {};
    if (fstat(nFile, &info) != 0 || !S_ISREG(info.st_mode))
    {
        ::close(nFile);
        return kPdfErrorCannotOpenInput;
    }
    m_nSize = static_cast<size_t>(info.st_size);
    if (m_nSize > kMaxReadSize)
    {
        // Large files are mapped, so that only the parts qpdf reads are brought in.
        void* pMap = mmap(nullptr, m_nSize, PROT_READ, MAP_PRIVATE, nFile, 0);
        if (pMap != MAP_FAILED)
            m_pMapped = m_pData = static_cast<const char*>(pMap);
    }
    else if (m_nSize > 0)
    {
        // Small files are read whole: cheaper than setting up and tearing down a mapping.
        m_copy.resize(m_nSize);
        size_t nRead = 0;
        while (nRead < m_nSize)
        {
            const ssize_t nChunk =
                ::pread(nFile, m_copy.data() + nRead, m_nSize - nRead, static_cast<off_t>(nRead));
            if (nChunk < 0 && errno == EINTR)
                continue;
            if (nChunk <= 0)
                break;
            nRead += static_cast<size_t>(nChunk);
        }
        // A file that shrank while it was read is incomplete; its tail check fails below.
        m_nSize = nRead;
        m_pData = m_copy.data();
    }
    ::close(nFile);
    if (m_nSize > 0 && !m_pData)
        return kPdfErrorCannotOpenInput;
    // A file still being written has no complete trailer at its end yet; qpdf alone would read
    // an earlier trailer or repair the cross-reference table.
    if (!HasCompleteTrailer(m_pData, m_nSize))
        return kPdfErrorDamaged;
    try
    {
        m_pQpdf = std::make_unique<QPDF>();
        m_pQpdf->setSuppressWarnings(true);
        m_pQpdf->setAttemptRecovery(false);
        m_pQpdf->processMemoryFile(szPath.c_str(), m_pData, m_nSize, szPassword.c_str());
        if (!m_pQpdf->getRoot().getKey("/Pages").isDictionary())
            return kPdfErrorDamaged;
    }
    catch (const QPDFExc& e)
    {
        return e.getErrorCode() == qpdf_e_password ? kPdfErrorInvalidPassword : kPdfErrorDamaged;
    }
    catch (const std::exception&)
    {
        return kPdfErrorDamaged;
    }
    return 0;
}

int CPdfFile::FindPage(int nPage, int& nError)
{
    nError = 0;
    const auto found = m_pageRefs.find(nPage);
    if (found != m_pageRefs.end())
        return found->second;
    if (nPage < 1)
    {
        nError = kPdfErrorInvalidRangeList;
        return 0;
    }
    try
    {
        // Descend from the root, skipping whole subtrees by their page counts.
        QPDFObjectHandle node = m_pQpdf->getRoot().getKey("/Pages");
        long long nRemaining = nPage;
        for (int nDepth = 0; nDepth < kMaxTreeDepth; ++nDepth)
        {
            QPDFObjectHandle kids = node.getKey("/Kids");
            if (!kids.isArray())
                break;
            bool bDescended = false;
            const int nKids = kids.getArrayNItems();
            for (int n = 0; n < nKids && !bDescended; ++n)
            {
                QPDFObjectHandle kid = kids.getArrayItem(n);
                if (!kid.isDictionary())
                {
                    nError = kPdfErrorDamaged;
                    return 0;
                }
                if (kid.getKey("/Kids").isArray())
                {
                    QPDFObjectHandle count = kid.getKey("/Count");
                    if (!IsIntegerIn(count, 0, INT32_MAX))
                    {
                        nError = kPdfErrorDamaged;
                        return 0;
                    }
                    if (nRemaining <= count.getIntValue())
                    {
                        node = kid;
                        bDescended = true;
                    }
                    else
                        nRemaining -= count.getIntValue();
                }
                else if (--nRemaining == 0)
                {
                    m_pages.push_back({kid, 0, nPage - 1});
                    SPage& page = m_pages.back();
                    QPDFObjectHandle rotate = Inherited(kid, "/Rotate");
                    if (IsIntegerIn(rotate, -3600, 3600))
                        page.nFileRotation = page.nRotation =
                            ((static_cast<int>(rotate.getIntValue()) / 90 * 90) % 360 + 360) % 360;
                    const int nRef = static_cast<int>(m_pages.size());
                    m_pageRefs[nPage] = nRef;
                    return nRef;
                }
            }
            if (!bDescended)
                break;
        }
    }
    catch (const std::exception&)
    {
        nError = kPdfErrorDamaged;
        return 0;
    }
    nError = kPdfErrorInvalidRangeList;
    return 0;
}

int CPdfFile::GetPageCount()
{
    try
    {
        QPDFObjectHandle count = m_pQpdf->getRoot().getKey("/Pages").getKey("/Count");
        if (IsIntegerIn(count, 0, INT32_MAX))
            return static_cast<int>(count.getIntValue());
    }
    catch (const std::exception&)
    {
    }
    return -1;
}

QPDFObjectHandle CPdfFile::Inherited(QPDFObjectHandle page, const char* szKey)
{
    for (int nDepth = 0; nDepth < kMaxTreeDepth && page.isDictionary(); ++nDepth)
    {
        QPDFObjectHandle value = page.getKey(szKey);
        if (!value.isNull())
            return value;
        page = page.getKey("/Parent");
    }
    return QPDFObjectHandle::newNull();
}

bool CPdfFile::GetPageSize(int nPageRef, double& dWidth, double& dHeight)
{
    dWidth = 0;
    dHeight = 0;
    if (nPageRef < 1 || nPageRef > static_cast<int>(m_pages.size()))
        return false;
    try
    {
        QPDFObjectHandle box = Inherited(m_pages[nPageRef - 1].page, "/MediaBox");
        if (!box.isArray() || box.getArrayNItems() != 4)
            return false;
        double corners[4];
        for (int n = 0; n < 4; ++n)
        {
            QPDFObjectHandle value = box.getArrayItem(n);
            if (!value.isNumber())
                return false;
            corners[n] = value.getNumericValue();
        }
        dWidth = std::fabs(corners[2] - corners[0]);
        dHeight = std::fabs(corners[3] - corners[1]);
        return std::isfinite(dWidth) && std::isfinite(dHeight);
    }
    catch (const std::exception&)
    {
        return false;
    }
}

bool CPdfFile::RotatePage(int nPageRef, int nAngle, bool bRelative)
{
    if (nPageRef < 1 || nPageRef > static_cast<int>(m_pages.size()) || nAngle % 90 != 0)
        return false;
    SPage& page = m_pages[nPageRef - 1];
    const int nTurn = bRelative ? page.nRotation + nAngle % 360 : nAngle % 360;
    page.nRotation = (nTurn % 360 + 360) % 360;
    return true;
}

bool CPdfFile::Render(int nPageRef, int nDPI, HDC hDC)
{
    if (nPageRef < 1 || nPageRef > static_cast<int>(m_pages.size()) || !hDC || !hDC->pPixels || nDPI <= 0 ||
        nDPI > 10000 || m_nSize > static_cast<size_t>(INT32_MAX))
        return false;
    const SPage& page = m_pages[nPageRef - 1];
    std::unique_ptr<poppler::document> pDocument(
        poppler::document::load_from_raw_data(m_pData, static_cast<int>(m_nSize)));
    if (!pDocument || pDocument->is_locked() || page.nPageIndex >= pDocument->pages())
        return false;
    std::unique_ptr<poppler::page> pPage(pDocument->create_page(page.nPageIndex));
    if (!pPage)
        return false;
    // poppler adds the page's own rotation to the one asked for; the library's rotation is the
    // page's whole display rotation.
    const int nExtra = ((page.nRotation - page.nFileRotation) % 360 + 360) % 360;
    poppler::page_renderer renderer;
    renderer.set_render_hint(poppler::page_renderer::antialiasing);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing);
    renderer.set_image_format(poppler::image::format_argb32);
    // Only the part of the page that falls inside the raster is rendered; beyond the page's edge
    // the raster keeps what it held.
    const poppler::rectf box = pPage->page_rect(poppler::media_box);
    double dWidth = box.width() * nDPI / 72.0, dHeight = box.height() * nDPI / 72.0;
    if (page.nRotation % 180 != 0)
        std::swap(dWidth, dHeight);
    const int nWidth = static_cast<int>(std::min<double>(hDC->nWidth, std::ceil(dWidth)));
    const int nHeight = static_cast<int>(std::min<double>(hDC->nHeight, std::ceil(dHeight)));
    if (nWidth <= 0 || nHeight <= 0)
        return true;
    poppler::image image = renderer.render_page(pPage.get(), nDPI, nDPI, 0, 0, nWidth, nHeight,
                                                static_cast<poppler::rotation_enum>(nExtra / 90));
    if (!image.is_valid() || image.format() != poppler::image::format_argb32)
        return false;
    const int nRows = std::min(image.height(), hDC->nHeight);
    const int nColumns = std::min(image.width(), hDC->nWidth);
    for (int y = 0; y < nRows; ++y)
    {
        const uint32_t* pSource = reinterpret_cast<const uint32_t*>(
            image.const_data() + static_cast<size_t>(y) * image.bytes_per_row());
        uint32_t* pTarget = hDC->pPixels + static_cast<size_t>(y) * hDC->nStride;
        for (int x = 0; x < nColumns; ++x)
        {
            // Composite over white: the page's background where nothing was painted.
            const uint32_t nPixel = pSource[x];
            const uint32_t nAlpha = nPixel >> 24;
            auto channel = [&](int nShift)
            {
                const uint32_t nValue = (nPixel >> nShift) & 0xFF; // premultiplied
                return std::min<uint32_t>(255, nValue + (255 - nAlpha));
            };
            pTarget[x] = channel(16) << 16 | channel(8) << 8 | channel(0);
        }
    }
    return true;
}
