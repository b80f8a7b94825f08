// The PDF library wrapper: run-time loading, entry-point resolution and text buffers.
#include "documents/QuickPDFDLL0723.h"

#include "platform/Encoding.h"
#include "platform/Library.h"

#include <mutex>

namespace
{

const wchar_t* const kLibraryName = L"QuickPDFDLL0723.dll";

} // namespace

// A library buffer holding one text argument as UTF-8, released when the call is done.
class QuickPDFDLL0723::CBuffer
{
public:
    CBuffer(QuickPDFDLL0723& library, const std::wstring& szText) : m_library(library)
    {
        std::string szBytes;
        if (!platform::WideToMultiByte(platform::kCodePageUtf8, szText, szBytes))
            return; // unconvertible text (an unpaired surrogate) is handed over as no text
        m_pBuffer =
            m_library.m_pfnCreateBuffer(m_library.m_nInstanceID, static_cast<int32_t>(szBytes.size()));
        if (m_pBuffer)
            m_library.m_pfnAddToBuffer(m_library.m_nInstanceID, m_pBuffer, szBytes.data(),
                                       static_cast<int32_t>(szBytes.size()));
    }
    ~CBuffer()
    {
        if (m_pBuffer)
            m_library.m_pfnReleaseBuffer(m_library.m_nInstanceID, m_pBuffer);
    }
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;

    // The zero-terminated text; an empty text when the buffer could not be made.
    const char* Text() const { return m_pBuffer ? m_pBuffer : ""; }

private:
    QuickPDFDLL0723& m_library;
    char* m_pBuffer = nullptr;
};

QuickPDFDLL0723::QuickPDFDLL0723()
{
    Load(kLibraryName);
}

QuickPDFDLL0723::QuickPDFDLL0723(const std::wstring& szLibraryName)
{
    Load(szLibraryName);
}

QuickPDFDLL0723::~QuickPDFDLL0723()
{
    if (m_nInstanceID > 0 && m_pfnReleaseLibrary)
        m_pfnReleaseLibrary(m_nInstanceID);
    if (m_hModule && !m_bSharedModule)
        platform::FreeLibrary(m_hModule);
}

template <typename T> bool QuickPDFDLL0723::Resolve(T& pfn, const char* szName)
{
    pfn = reinterpret_cast<T>(platform::GetProcAddress(m_hModule, szName));
    if (pfn)
        return true;
    std::wstring szEntry;
    platform::MultiByteToWide(platform::kCodePageUtf8, szName, szEntry);
    m_szLoadError = L"Entry point " + szEntry + L" not found in the PDF library " + m_szLibraryName;
    return false;
}

void QuickPDFDLL0723::Load(const std::wstring& szLibraryName)
{
    m_szLibraryName = szLibraryName;
    m_bFailed = true;
    if (szLibraryName == kLibraryName)
    {
        // The library of the default name is loaded once and stays for the process: a document is
        // opened for every control file, and looking the library up again each time costs system
        // calls for nothing.
        static std::mutex s_mutex;
        static void* s_hDefault = nullptr;
        std::lock_guard<std::mutex> lock(s_mutex);
        if (s_hDefault == nullptr)
            s_hDefault = platform::LoadLibrary(szLibraryName);
        m_hModule = s_hDefault;
        m_bSharedModule = m_hModule != nullptr;
    }
    else
        m_hModule = platform::LoadLibrary(szLibraryName);
    if (!m_hModule)
    {
        m_szLoadError =
            L"Unable to load the PDF library " + szLibraryName + L": " + platform::LastLibraryErrorText();
        return;
    }
    const bool bResolved = Resolve(m_pfnCreateLibrary, "QuickPDFCreateLibrary") &&
                           Resolve(m_pfnReleaseLibrary, "QuickPDFReleaseLibrary") &&
                           Resolve(m_pfnCreateBuffer, "QuickPDFCreateBuffer") &&
                           Resolve(m_pfnAddToBuffer, "QuickPDFAddToBuffer") &&
                           Resolve(m_pfnReleaseBuffer, "QuickPDFReleaseBuffer") &&
                           Resolve(m_pfnDAOpenFile, "QuickPDFDAOpenFile") &&
                           Resolve(m_pfnDAFindPage, "QuickPDFDAFindPage") &&
                           Resolve(m_pfnDAGetPageWidth, "QuickPDFDAGetPageWidth") &&
                           Resolve(m_pfnDAGetPageHeight, "QuickPDFDAGetPageHeight") &&
                           Resolve(m_pfnDAGetPageCount, "QuickPDFDAGetPageCount") &&
                           Resolve(m_pfnDACloseFile, "QuickPDFDACloseFile") &&
                           Resolve(m_pfnDARotatePage, "QuickPDFDARotatePage") &&
                           Resolve(m_pfnDARenderPageToDC, "QuickPDFDARenderPageToDC") &&
                           Resolve(m_pfnMergeFiles, "QuickPDFMergeFiles") &&
                           Resolve(m_pfnExtractFilePages, "QuickPDFExtractFilePages") &&
                           Resolve(m_pfnLastErrorCode, "QuickPDFLastErrorCode");
    if (!bResolved)
        return;
    m_nInstanceID = m_pfnCreateLibrary();
    if (m_nInstanceID <= 0)
    {
        m_szLoadError = L"The PDF library " + szLibraryName + L" did not create an instance";
        return;
    }
    m_bFailed = false;
}

int32_t QuickPDFDLL0723::DAOpenFile(const std::wstring& szFileName, const std::wstring& szPassword)
{
    if (m_bFailed)
        return 0;
    CBuffer name(*this, szFileName), password(*this, szPassword);
    return m_pfnDAOpenFile(m_nInstanceID, name.Text(), password.Text());
}

int32_t QuickPDFDLL0723::DAFindPage(int32_t nFileHandle, int32_t nPage)
{
    return m_bFailed ? 0 : m_pfnDAFindPage(m_nInstanceID, nFileHandle, nPage);
}

double QuickPDFDLL0723::DAGetPageWidth(int32_t nFileHandle, int32_t nPageRef)
{
    return m_bFailed ? 0.0 : m_pfnDAGetPageWidth(m_nInstanceID, nFileHandle, nPageRef);
}

double QuickPDFDLL0723::DAGetPageHeight(int32_t nFileHandle, int32_t nPageRef)
{
    return m_bFailed ? 0.0 : m_pfnDAGetPageHeight(m_nInstanceID, nFileHandle, nPageRef);
}

int32_t QuickPDFDLL0723::DAGetPageCount(int32_t nFileHandle)
{
    return m_bFailed ? 0 : m_pfnDAGetPageCount(m_nInstanceID, nFileHandle);
}

int32_t QuickPDFDLL0723::DACloseFile(int32_t nFileHandle)
{
    return m_bFailed ? 0 : m_pfnDACloseFile(m_nInstanceID, nFileHandle);
}

int32_t QuickPDFDLL0723::DARotatePage(int32_t nFileHandle, int32_t nPageRef, int32_t nAngle,
                                      int32_t nRelative)
{
    return m_bFailed ? 0 : m_pfnDARotatePage(m_nInstanceID, nFileHandle, nPageRef, nAngle, nRelative);
}

int32_t QuickPDFDLL0723::DARenderPageToDC(int32_t nFileHandle, int32_t nPageRef, int32_t nDPI, HDC hDC)
{
    return m_bFailed ? 0 : m_pfnDARenderPageToDC(m_nInstanceID, nFileHandle, nPageRef, nDPI, hDC);
}

int32_t QuickPDFDLL0723::MergeFiles(const std::wstring& szFirst, const std::wstring& szSecond,
                                    const std::wstring& szOutput)
{
    if (m_bFailed)
        return 0;
    CBuffer first(*this, szFirst), second(*this, szSecond), output(*this, szOutput);
    return m_pfnMergeFiles(m_nInstanceID, first.Text(), second.Text(), output.Text());
}

int32_t QuickPDFDLL0723::ExtractFilePages(const std::wstring& szInput, const std::wstring& szOutput,
                                          const std::wstring& szRanges)
{
    if (m_bFailed)
        return 0;
    CBuffer input(*this, szInput), output(*this, szOutput), ranges(*this, szRanges);
    return m_pfnExtractFilePages(m_nInstanceID, input.Text(), output.Text(), ranges.Text());
}

int32_t QuickPDFDLL0723::LastErrorCode()
{
    return m_bFailed ? 0 : m_pfnLastErrorCode(m_nInstanceID);
}
