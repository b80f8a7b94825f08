// The PDF document on the PDF library.
#include "documents/CQuickPdfDoc.h"

#include <cmath>

#include "documents/CSplitPlan.h"
#include "documents/ISplitListener.h"
#include "documents/QuickPDFDLL0723.h"
#include "documents/SSplitItem.h"
#include "log/CFuncTrace.h"
#include "log/CLogger.h"
#include "platform/DebugOutput.h"
#include "platform/Encoding.h"
#include "util/CFExeption.h"
#include "util/CFileOps.h"

namespace
{

// The range list as the debugger output shows it: its UTF-8 bytes, one character each.
std::wstring DebugRangeList(const std::wstring& szRangeList)
{
    std::string szBytes;
    platform::WideToMultiByte(platform::kCodePageUtf8, szRangeList, szBytes);
    return std::wstring(szBytes.begin(), szBytes.end());
}

// Reports the end of a split to the listener (when there is one) and returns the result.
bool SplitResult(ISplitListener* pListener, bool bSuccess, const std::wstring& szMessage)
{
    if (pListener)
        pListener->OnSplitResult(bSuccess, szMessage);
    return bSuccess;
}

} // namespace

CQuickPdfDoc::CQuickPdfDoc(const std::wstring& szPath) : m_szPath(szPath)
{
    CFuncTrace trace(L"CQuickPdfDoc::CQuickPdfDoc");
    m_pLibrary.reset(new QuickPDFDLL0723());
}

CQuickPdfDoc::CQuickPdfDoc(const std::wstring& szPath, const std::wstring& szLibraryName) : m_szPath(szPath)
{
    CFuncTrace trace(L"CQuickPdfDoc::CQuickPdfDoc");
    m_pLibrary.reset(new QuickPDFDLL0723(szLibraryName));
}

CQuickPdfDoc::~CQuickPdfDoc()
{
    CFuncTrace trace(L"CQuickPdfDoc::~CQuickPdfDoc");
    Close();
    m_pLibrary.reset();
}

void CQuickPdfDoc::StoreLastError()
{
    if (!m_pLibrary->IsLoaded())
        m_szLastError = m_pLibrary->LoadError();
    else
        m_szLastError = LastErrorCode(m_pLibrary->LastErrorCode());
}

bool CQuickPdfDoc::Open(int nPage, std::wstring& szError)
{
    if (Open(nPage))
        return true;
    szError = m_szLastError;
    return false;
}

bool CQuickPdfDoc::Open(int nPage)
{
    CFuncTrace trace(L"CQuickPdfDoc::Open");
    m_nFileHandle = m_pLibrary->DAOpenFile(m_szPath, L"");
    if (m_nFileHandle > 0)
    {
        m_nPageRef = m_pLibrary->DAFindPage(m_nFileHandle, nPage);
        if (m_nPageRef > 0)
        {
            m_dPageWidth = m_pLibrary->DAGetPageWidth(m_nFileHandle, m_nPageRef);
            m_dPageHeight = m_pLibrary->DAGetPageHeight(m_nFileHandle, m_nPageRef);
            return true;
        }
    }
    StoreLastError();
    return false;
}

void CQuickPdfDoc::Close()
{
    CFuncTrace trace(L"CQuickPdfDoc::Close");
    if (m_nFileHandle <= 0)
        return;
    if (m_pLibrary->DACloseFile(m_nFileHandle) == 1)
        m_nFileHandle = 0;
    else
        StoreLastError();
}

int CQuickPdfDoc::GetPagesCount()
{
    CFuncTrace trace(L"CQuickPdfDoc::GetPagesCount");
    return m_pLibrary->DAGetPageCount(m_nFileHandle);
}

void CQuickPdfDoc::GetPageSize(double& dWidth, double& dHeight)
{
    dWidth = m_dPageWidth;
    dHeight = m_dPageHeight;
}

void CQuickPdfDoc::GetPageSizeInPixels(double& dWidth, double& dHeight)
{
    dWidth = m_dPageWidth * 1.33;
    dHeight = m_dPageHeight * 1.33;
}

void CQuickPdfDoc::RenderPage(CDC* pDC, RECT& rcRect, int nRotation)
{
    CFuncTrace trace(L"CQuickPdfDoc::RenderPage");
    if (nRotation % 2 != 0)
        std::swap(rcRect.right, rcRect.bottom);
    static const int kAngles[] = {0, 90, 180, 270};
    if (m_pLibrary->DARotatePage(m_nFileHandle, m_nPageRef, kAngles[((nRotation % 4) + 4) % 4], 0) != 1)
        StoreLastError();
    // Without a page size there is no scale to render at; the library is not asked.
    if (!(m_dPageWidth > 0) || !(m_dPageHeight > 0))
        return;
    const double dScaleX = (rcRect.right - rcRect.left) / m_dPageWidth;
    const double dScaleY = (rcRect.bottom - rcRect.top) / m_dPageHeight;
    const double dScale = dScaleY < dScaleX ? dScaleY : dScaleX;
    const double dZoom = std::floor(dScale * 100 + 0.5);
    const int nDPI = static_cast<int>(dZoom / 1.33);
    if (m_pLibrary->DARenderPageToDC(m_nFileHandle, m_nPageRef, nDPI, pDC ? pDC->m_hDC : nullptr) != 1)
        StoreLastError();
}

bool CQuickPdfDoc::Append(const std::wstring& szOtherPath, std::wstring& szError)
{
    CFuncTrace trace(L"CQuickPdfDoc::Append");
    const std::wstring szTemporary = m_szPath + L".tmp.pdf";
    if (m_pLibrary->MergeFiles(m_szPath, szOtherPath, szTemporary) != 1)
    {
        StoreLastError();
        szError = m_szLastError;
        return false;
    }
    CFileOps ops;
    try
    {
        ops.Delete(m_szPath);
    }
    catch (CFExeption* pError)
    {
        szError = pError->GetMessage();
        delete pError;
        return false;
    }
    try
    {
        ops.Move(szTemporary, m_szPath);
    }
    catch (CFExeption* pError)
    {
        szError = pError->GetMessage();
        delete pError;
        return false;
    }
    return true;
}

bool CQuickPdfDoc::Split(CSplitPlan& plan, int nPageCount, ISplitListener* pListener)
{
    CFuncTrace trace(L"CQuickPdfDoc::Split");
    std::wstring szWholeOutput;
    if (plan.IsWholeDocument(nPageCount, szWholeOutput))
    {
        CFileOps ops;
        if (ops.CopyTo(m_szPath, szWholeOutput, false))
            return SplitResult(pListener, true, L"Split complete");
        return SplitResult(pListener, false, ops.GetErrorText());
    }
    if (!plan.First())
        return SplitResult(pListener, false, L"Unable to split empty document");
    if (!m_pLibrary->IsLoaded())
        return SplitResult(pListener, false, m_pLibrary->LoadError());
    while (SSplitItem* pItem = plan.Next())
    {
        CFileOps ops;
        try
        {
            ops.EnsureDirectory(pItem->m_szFileName, true);
        }
        catch (CFExeption* pError)
        {
            const std::wstring szMessage = pError->GetMessage();
            delete pError;
            return SplitResult(pListener, false, szMessage);
        }
        if (pListener)
            pListener->OnSplitFile(pItem->m_szFileName.c_str());
        if (IsDebugMode())
            platform::OutputDebugText(L"+ ExtractFilePages: " + DebugRangeList(pItem->m_szRangeList));
        if (m_pLibrary->ExtractFilePages(m_szPath, pItem->m_szFileName, pItem->m_szRangeList) == 0)
        {
            StoreLastError();
            return SplitResult(pListener, false,
                               pItem->m_szFileName + L". " + m_szLastError + L". Range list: " +
                                   pItem->m_szRangeList + L".");
        }
        if (IsDebugMode())
            platform::OutputDebugText(L"- ExtractFilePages: " + DebugRangeList(pItem->m_szRangeList));
    }
    return SplitResult(pListener, true, L"Split complete");
}

std::wstring CQuickPdfDoc::LastErrorCode(int nCode)
{
    CFuncTrace trace(L"CQuickPdfDoc::LastErrorCode");
    switch (nCode)
    {
    case 101:
        return L"The Strength parameter passed to the Encrypt function was invalid";
    case 102:
        return L"The Permissions parameter passed to the Encrypt function was invalid. Use the "
               L"EncodePermissions function to construct a value for this parameter";
    case 103:
        return L"The Encrypt function was used on a document that was already encrypted";
    case 104:
        return L"The Encrypt function failed for an unknown reason";
    case 201:
        return L"The SetInformation function failed because the document is encrypted";
    case 202:
        return L"The Key parameter passed to the SetInformation function was out of range";
    case 301:
        return L"An invalid combination of barcode and option was sent to the DrawBarcode function";
    case 302:
        return L"Non-numeric characters were sent to DrawBarcode using EAN-13";
    case 303:
        return L"The EAN-13 barcode has an invalid checksum character";
    case 401:
        return L"Could not open input file";
    case 402:
        return L"Output file already exists and could not be deleted";
    case 403:
        return L"Could not open output file";
    case 404:
        return L"Invalid password";
    case 405:
        return L"Document is not encrypted";
    case 406:
        return L"Document is already encrypted";
    case 407:
        return L"Invalid encryption strength";
    case 408:
        return L"Invalid permissions";
    case 409:
        return L"Invalid file structure, file is damaged";
    case 410:
        return L"One of the input files is encrypted";
    case 411:
        return L" File not found";
    case 412:
        return L" Invalid page range list";
    case 501:
        return L"The specified FileHandle was invalid";
    default:
        return L"Undefined error: " + std::to_wstring(nCode);
    }
}
