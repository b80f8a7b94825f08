// One instance of the PDF library.
#include "standins/pdflib/CPdfInstance.h"

#include <cerrno>
#include <cstring>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <unistd.h>

#include "standins/pdflib/CPdfFile.h"
#include "standins/pdflib/PdfRangeList.h"
#include "standins/pdflib/QuickPDFExports.h"

namespace
{

std::string TextOf(const char* szText)
{
    return szText ? szText : "";
}

// Writes a qpdf document to szOutput; 0 or the error code. A failed write leaves no output file.
int WriteDocument(QPDF& document, const std::string& szOutput)
{
    try
    {
        QPDFWriter writer(document, szOutput.c_str());
        writer.write();
        return 0;
    }
    catch (const std::exception&)
    {
        ::unlink(szOutput.c_str());
        return kPdfErrorCannotOpenOutput;
    }
}

} // namespace

CPdfInstance::CPdfInstance() = default;
CPdfInstance::~CPdfInstance() = default;

char* CPdfInstance::CreateBuffer(int32_t nLength)
{
    if (nLength < 0)
        return nullptr;
    auto pMemory = std::make_unique<char[]>(static_cast<size_t>(nLength) + 1);
    char* pBuffer = pMemory.get();
    std::memset(pBuffer, 0, static_cast<size_t>(nLength) + 1);
    SBuffer& buffer = m_buffers[pBuffer];
    buffer.pMemory = std::move(pMemory);
    buffer.nCapacity = nLength;
    return pBuffer;
}

int32_t CPdfInstance::AddToBuffer(char* pBuffer, const char* pSource, int32_t nLength)
{
    const auto found = m_buffers.find(pBuffer);
    if (found == m_buffers.end() || nLength < 0 || (nLength > 0 && !pSource))
        return 0;
    SBuffer& buffer = found->second;
    if (nLength > buffer.nCapacity - buffer.nUsed)
        return 0;
    std::memcpy(pBuffer + buffer.nUsed, pSource, static_cast<size_t>(nLength));
    buffer.nUsed += nLength;
    return 1;
}

int32_t CPdfInstance::ReleaseBuffer(char* pBuffer)
{
    return m_buffers.erase(pBuffer) ? 1 : 0;
}

CPdfFile* CPdfInstance::FileOf(int32_t nFileHandle)
{
    const auto found = m_files.find(nFileHandle);
    if (found == m_files.end())
    {
        m_nLastError = kPdfErrorInvalidFileHandle;
        return nullptr;
    }
    m_nLastError = 0;
    return found->second.get();
}

int32_t CPdfInstance::OpenFile(const char* szFileName, const char* szPassword)
{
    auto pFile = std::make_unique<CPdfFile>();
    m_nLastError = pFile->Open(TextOf(szFileName), TextOf(szPassword));
    if (m_nLastError != 0)
        return 0;
    if (m_nNextHandle == INT32_MAX)
    {
        m_nLastError = kPdfErrorCannotOpenInput;
        return 0;
    }
    const int32_t nHandle = m_nNextHandle++;
    m_files[nHandle] = std::move(pFile);
    return nHandle;
}

int32_t CPdfInstance::FindPage(int32_t nFileHandle, int32_t nPage)
{
    CPdfFile* pFile = FileOf(nFileHandle);
    if (!pFile)
        return 0;
    int nError = 0;
    const int nRef = pFile->FindPage(nPage, nError);
    m_nLastError = nError;
    return nRef;
}

double CPdfInstance::GetPageWidth(int32_t nFileHandle, int32_t nPageRef)
{
    CPdfFile* pFile = FileOf(nFileHandle);
    double dWidth = 0, dHeight = 0;
    if (pFile && !pFile->GetPageSize(nPageRef, dWidth, dHeight))
        m_nLastError = kPdfErrorDamaged;
    return dWidth;
}

double CPdfInstance::GetPageHeight(int32_t nFileHandle, int32_t nPageRef)
{
    CPdfFile* pFile = FileOf(nFileHandle);
    double dWidth = 0, dHeight = 0;
    if (pFile && !pFile->GetPageSize(nPageRef, dWidth, dHeight))
        m_nLastError = kPdfErrorDamaged;
    return dHeight;
}

int32_t CPdfInstance::GetPageCount(int32_t nFileHandle)
{
    CPdfFile* pFile = FileOf(nFileHandle);
    if (!pFile)
        return 0;
    const int nCount = pFile->GetPageCount();
    if (nCount < 0)
    {
        m_nLastError = kPdfErrorDamaged;
        return 0;
    }
    return nCount;
}

int32_t CPdfInstance::CloseFile(int32_t nFileHandle)
{
    if (!FileOf(nFileHandle))
        return 0;
    m_files.erase(nFileHandle);
    return 1;
}

int32_t CPdfInstance::RotatePage(int32_t nFileHandle, int32_t nPageRef, int32_t nAngle, int32_t nRelative)
{
    CPdfFile* pFile = FileOf(nFileHandle);
    if (!pFile)
        return 0;
    if (!pFile->RotatePage(nPageRef, nAngle, nRelative != 0))
    {
        m_nLastError = kPdfErrorInvalidRangeList;
        return 0;
    }
    return 1;
}

int32_t CPdfInstance::RenderPageToDC(int32_t nFileHandle, int32_t nPageRef, int32_t nDPI, HDC hDC)
{
    CPdfFile* pFile = FileOf(nFileHandle);
    if (!pFile)
        return 0;
    try
    {
        if (pFile->Render(nPageRef, nDPI, hDC))
            return 1;
    }
    catch (const std::exception&)
    {
    }
    m_nLastError = kPdfErrorDamaged;
    return 0;
}

int CPdfInstance::RemoveOutput(const std::string& szOutput)
{
    if (::unlink(szOutput.c_str()) == 0 || errno == ENOENT)
        return 0;
    return kPdfErrorOutputExists;
}

int32_t CPdfInstance::MergeFiles(const char* szFirst, const char* szSecond, const char* szOutput)
{
    CPdfFile first, second;
    m_nLastError = first.Open(TextOf(szFirst), "");
    if (m_nLastError == 0)
        m_nLastError = second.Open(TextOf(szSecond), "");
    if (m_nLastError != 0)
        return 0;
    try
    {
        if (first.Document().isEncrypted() || second.Document().isEncrypted())
        {
            m_nLastError = kPdfErrorInputEncrypted;
            return 0;
        }
        // The first file keeps its structure; the second's pages are copied behind its own.
        QPDFPageDocumentHelper target(first.Document());
        for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(second.Document()).getAllPages())
            target.addPage(page, false);
    }
    catch (const std::exception&)
    {
        m_nLastError = kPdfErrorDamaged;
        return 0;
    }
    m_nLastError = RemoveOutput(TextOf(szOutput));
    if (m_nLastError == 0)
        m_nLastError = WriteDocument(first.Document(), TextOf(szOutput));
    return m_nLastError == 0 ? 1 : 0;
}

int32_t CPdfInstance::ExtractFilePages(const char* szInput, const char* szOutput, const char* szRangeList)
{
    CPdfFile source;
    m_nLastError = source.Open(TextOf(szInput), "");
    if (m_nLastError != 0)
        return 0;
    QPDF target;
    try
    {
        const std::vector<QPDFPageObjectHelper> pages =
            QPDFPageDocumentHelper(source.Document()).getAllPages();
        std::vector<int> selected;
        if (!ReadExtractRangeList(TextOf(szRangeList), static_cast<int>(pages.size()), selected))
        {
            m_nLastError = kPdfErrorInvalidRangeList;
            return 0;
        }
        target.emptyPDF();
        QPDFPageDocumentHelper targetPages(target);
        // A page named twice is added as a second page object sharing the same content.
        for (int nPage : selected)
            targetPages.addPage(pages[nPage - 1], false);
    }
    catch (const std::exception&)
    {
        m_nLastError = kPdfErrorDamaged;
        return 0;
    }
    m_nLastError = RemoveOutput(TextOf(szOutput));
    if (m_nLastError == 0)
        m_nLastError = WriteDocument(target, TextOf(szOutput));
    return m_nLastError == 0 ? 1 : 0;
}
