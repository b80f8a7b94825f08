// The multipage TIFF document, on FreeImage and FreeImagePlus.
#include "documents/CTifDoc.h"

#include <FreeImagePlus.h>

#include <memory>
#include <vector>

#include "documents/CSplitPlan.h"
#include "documents/FreeImageMessages.h"
#include "documents/ISplitListener.h"
#include "documents/ParseRangeList.h"
#include "documents/SSplitItem.h"
#include "documents/TiffCompleteness.h"
#include "documents/fipMultiPageEx.h"
#include "documents/fipWinImageEx.h"
#include "log/CLogger.h"
#include "platform/DebugOutput.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "util/CFileOps.h"
#include "util/TextConversion.h"

namespace
{

// TIFF pages are measured in page units of 4.2 pixels.
constexpr double kPixelsPerUnit = 4.2;

// The path as the UTF-8 byte string that FreeImage and libtiff take. A path that does not convert
// (an unpaired surrogate) adds a message and gives false.
bool Utf8Path(const std::wstring& szPath, std::string& szUtf8)
{
    if (MultiByteFromWide(szUtf8, szPath, platform::kCodePageUtf8))
        return true;
    AppendFreeImageMessage(L"The path '" + szPath + L"' cannot be converted to UTF-8.");
    return false;
}

// The collection's text, or szFallback when FreeImage said nothing.
std::wstring MessagesOr(const wchar_t* szFallback)
{
    std::wstring szText = FreeImageMessagesText();
    return szText.empty() ? std::wstring(szFallback) : szText;
}

void DebugText(const std::wstring& szText)
{
    if (IsDebugMode())
        platform::OutputDebugText(szText);
}

// True when FreeImage takes szUtf8Path for a TIFF file by its name.
bool IsTiffName(const std::string& szUtf8Path)
{
    // The wide-path variant of this query works on Windows only; the UTF-8 one judges the same name.
    return FreeImage_GetFIFFromFilename(szUtf8Path.c_str()) == FIF_TIFF;
}

// Appends the pages of szOther to szThis on disk. On failure the collection says why.
bool AppendFiles(const std::wstring& szThis, const std::wstring& szOther)
{
    std::string szThisUtf8;
    std::string szOtherUtf8;
    if (!Utf8Path(szThis, szThisUtf8) || !Utf8Path(szOther, szOtherUtf8))
        return false;
    if (!IsTiffName(szThisUtf8) || !IsTiffName(szOtherUtf8))
        return false;
    // A source that is still being written would add only the pages written so far.
    std::wstring szProblem;
    if (CFileOps::GetPathType(szOther) == 1 && !IsTiffComplete(szOtherUtf8, szProblem))
    {
        AppendFreeImageMessage(szProblem);
        return false;
    }
    FIMULTIBITMAP* pOther = FreeImage_OpenMultiBitmap(FIF_TIFF, szOtherUtf8.c_str(), FALSE, TRUE, TRUE, 0);
    if (!pOther)
        return false;
    FIMULTIBITMAP* pThis = FreeImage_OpenMultiBitmap(FIF_TIFF, szThisUtf8.c_str(), FALSE, FALSE, TRUE, 0);
    if (!pThis)
    {
        FreeImage_CloseMultiBitmap(pOther, 0);
        return false;
    }
    const int nOtherPages = FreeImage_GetPageCount(pOther);
    for (int n = 0; n < nOtherPages; ++n)
    {
        FIBITMAP* pPage = FreeImage_LockPage(pOther, n);
        if (!pPage)
        {
            // Take back the pages appended so far, so that closing leaves this file's pages as
            // they were instead of writing a half-appended document.
            for (int nAdded = n; nAdded > 0; --nAdded)
                FreeImage_DeletePage(pThis, FreeImage_GetPageCount(pThis) - 1);
            AppendFreeImageMessage(L"Unable to read page " + std::to_wstring(n + 1) + L" of '" + szOther +
                                   L"'.");
            FreeImage_CloseMultiBitmap(pOther, 0);
            FreeImage_CloseMultiBitmap(pThis, 0);
            return false;
        }
        FreeImage_AppendPage(pThis, pPage);
        FreeImage_UnlockPage(pOther, pPage, FALSE);
    }
    if (!FreeImage_CloseMultiBitmap(pOther, 0))
    {
        FreeImage_CloseMultiBitmap(pThis, 0);
        return false;
    }
    return FreeImage_CloseMultiBitmap(pThis, 0) != FALSE;
}

} // namespace

CTifDoc::CTifDoc(const std::wstring& szPath) : m_szPath(szPath) {}

CTifDoc::~CTifDoc()
{
    Close();
}

void CTifDoc::Close()
{
    if (m_pMultiPage)
    {
        if (m_pPage)
            m_pMultiPage->unlockPage(*m_pPage, FALSE);
        m_pMultiPage->close(0);
    }
    delete m_pMultiPage;
    m_pMultiPage = nullptr;
    delete m_pPage;
    m_pPage = nullptr;
    delete m_pDisplay;
    m_pDisplay = nullptr;
}

int CTifDoc::GetPagesCount()
{
    return m_nPagesCount;
}

bool CTifDoc::Open(int nPage, std::wstring& szError)
{
    if (Open(nPage))
        return true;
    szError = MessagesOr(L"Unknown error occurred while open document");
    return false;
}

bool CTifDoc::Open(int nPage)
{
    Close();
    if (!m_pMultiPage)
        m_pMultiPage = new fipMultiPageEx();
    std::string szPath;
    if (!Utf8Path(m_szPath, szPath))
        return false;
    if (!m_pMultiPage->open(szPath.c_str(), FALSE, TRUE, 0))
        return false;
    if (!m_pMultiPage->isValid())
        return false;
    // FreeImage opens a file that is still being written with the pages it finds so far.
    std::wstring szProblem;
    if (!IsTiffComplete(szPath, szProblem))
    {
        AppendFreeImageMessage(szProblem);
        return false;
    }
    m_nPagesCount = m_pMultiPage->getPageCount();
    if (m_nPagesCount == 0)
        return false;
    if (!m_pPage)
        m_pPage = new fipImage(FIT_BITMAP, 0, 0, 0);
    // A page outside the file locks nothing and leaves the page image empty.
    if (nPage >= 1)
        *m_pPage = m_pMultiPage->lockPage(nPage - 1);
    if (!m_pDisplay)
        m_pDisplay = new fipWinImageEx();
    *m_pDisplay = *m_pPage;
    m_dPageWidth = m_pDisplay->getWidth() / kPixelsPerUnit;
    m_dPageHeight = m_pDisplay->getHeight() / kPixelsPerUnit;
    return m_dPageWidth != 0 && m_dPageHeight != 0;
}

void CTifDoc::RenderPage(CDC* pDC, RECT& rcRect, int nRotation)
{
    if (!m_pDisplay)
        return;
    // fipImage::rotate turns counter-clockwise: 270 degrees turn the page a quarter clockwise.
    static const double kAngles[4] = {0, 270, 180, 90};
    const double dAngle = kAngles[((nRotation % 4) + 4) % 4];
    if (dAngle != 0)
        m_pDisplay->rotate(dAngle);
    m_pDisplay->DrawHalftone(pDC ? pDC->m_hDC : nullptr, rcRect);
}

void CTifDoc::GetPageSize(double& dWidth, double& dHeight)
{
    dWidth = m_dPageWidth;
    dHeight = m_dPageHeight;
}

void CTifDoc::GetPageSizeInPixels(double& dWidth, double& dHeight)
{
    dWidth = m_dPageWidth * kPixelsPerUnit;
    dHeight = m_dPageHeight * kPixelsPerUnit;
}

bool CTifDoc::Append(const std::wstring& szOtherPath, std::wstring& szError)
{
    ClearFreeImageMessages();
    InstallFreeImageMessageHandler();
    if (AppendFiles(m_szPath, szOtherPath))
        return true;
    szError = MessagesOr(L"Unknown error occurred while appending document");
    return false;
}

bool CTifDoc::Split(CSplitPlan& plan, int nPageCount, ISplitListener* pListener)
{
    std::wstring szMessage;
    const bool bDone = SplitFiles(plan, nPageCount, pListener, szMessage);
    if (pListener)
        pListener->OnSplitResult(bDone, szMessage);
    if (bDone)
        DebugText(szMessage);
    return bDone;
}

bool CTifDoc::SplitFiles(CSplitPlan& plan, int nPageCount, ISplitListener* pListener, std::wstring& szMessage)
{
    std::wstring szWholeTarget;
    if (plan.IsWholeDocument(nPageCount, szWholeTarget))
    {
        CFileOps fileOps;
        if (!fileOps.CopyTo(m_szPath, szWholeTarget, true))
        {
            szMessage = fileOps.GetErrorText();
            return false;
        }
        szMessage = L"Split complete";
        return true;
    }

    std::unique_ptr<fipMultiPageEx> pSource(new fipMultiPageEx());
    DebugText(L"Open src file:");
    DebugText(m_szPath);
    std::string szSourceUtf8;
    if (!Utf8Path(m_szPath, szSourceUtf8) || !pSource->open(szSourceUtf8.c_str(), FALSE, TRUE, 0))
    {
        szMessage = L"Unable to open source document. " + FreeImageMessagesText();
        return false;
    }
    if (!pSource->isValid())
    {
        szMessage = L"Invalid source document. " + FreeImageMessagesText();
        return false;
    }
    if (!plan.First())
    {
        szMessage = L"Unable to split empty document";
        return false;
    }
    const int nSourcePages = pSource->getPageCount();
    while (SSplitItem* pItem = plan.Next())
    {
        const std::wstring& szTarget = pItem->m_szFileName;
        if (pListener)
            pListener->OnSplitFile(szTarget.c_str());
        try
        {
            CFileOps fileOps;
            if (!fileOps.EnsureDirectory(szTarget, true))
            {
                szMessage = L"Unable to create the folder of '" + szTarget + L"'";
                return false;
            }
        }
        catch (CFExeption* pError)
        {
            szMessage = pError->GetMessage();
            delete pError;
            return false;
        }
        const int nNameCheck = CFileOps::ValidateFileName(CFileOps::FileNameOf(szTarget));
        if (nNameCheck != kFileNameValid)
        {
            std::wstring szDevice;
            szMessage = L"Invalid file name: '" + szTarget + L"' " +
                        CFileOps::FileNameErrorText(nNameCheck, szDevice);
            if (nNameCheck <= kFileNameDeviceFirst && nNameCheck >= kFileNameDeviceLast)
                szMessage += L" " + szDevice;
            return false;
        }

        std::unique_ptr<fipMultiPageEx> pTarget(new fipMultiPageEx());
        DebugText(L"Open out file:");
        DebugText(szTarget);
        std::string szTargetUtf8;
        if (!Utf8Path(szTarget, szTargetUtf8) || !pTarget->open(szTargetUtf8.c_str(), TRUE, FALSE, 0))
        {
            szMessage = L"Unable to open target document. " + FreeImageMessagesText();
            return false;
        }
        if (!pTarget->isValid())
        {
            szMessage = L"Invalid target document. " + FreeImageMessagesText();
            return false;
        }
        for (int nPage : ParseRangeList(pItem->m_szRangeList))
        {
            DebugText(L"appendPage");
            // Pages outside the source lock nothing; the item fails instead of writing a gap.
            FIBITMAP* pPage = nPage >= 1 && nPage <= nSourcePages ? pSource->lockPage(nPage - 1) : nullptr;
            if (!pPage)
            {
                szMessage = L"Unable to read page " + std::to_wstring(nPage) + L" of source document. " +
                            FreeImageMessagesText();
                pTarget->close(0);
                pTarget.reset();
                platform::DeleteFile(szTarget);
                return false;
            }
            fipImage image(FIT_BITMAP, 0, 0, 0);
            image = pPage;
            pTarget->appendPage(image);
            pSource->unlockPage(image, FALSE);
        }
        DebugText(L"outDoc.close");
        if (!pTarget->close(0))
        {
            szMessage = L"Failed to save target document. " + FreeImageMessagesText();
            return false;
        }
    }
    DebugText(L"srcDoc.close");
    if (!pSource->close(0))
    {
        szMessage = L"Failed to close source document. " + FreeImageMessagesText();
        return false;
    }
    szMessage = L"Split complete";
    return true;
}
