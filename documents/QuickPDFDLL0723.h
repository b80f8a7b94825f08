// The PDF library, loaded at run time by name: resolves every entry point the PDF document uses
// and owns one library instance. Text arguments are handed over as library buffers holding UTF-8.
// Used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "standins/pdflib/SDeviceContext.h"

class QuickPDFDLL0723
{
public:
    // Loads "QuickPDFDLL0723.dll" (libQuickPDFDLL0723.so beside the executable, then the usual
    // places), resolves the entry points and creates an instance. Failure is recorded, not thrown:
    // see IsLoaded and LoadError.
    QuickPDFDLL0723();
    // Loads the named library instead (tests use it for missing libraries).
    explicit QuickPDFDLL0723(const std::wstring& szLibraryName);
    // Releases the instance (when one was created) and unloads the library.
    virtual ~QuickPDFDLL0723();
    QuickPDFDLL0723(const QuickPDFDLL0723&) = delete;
    QuickPDFDLL0723& operator=(const QuickPDFDLL0723&) = delete;

    // True when the library and every entry point were found and an instance exists.
    bool IsLoaded() const { return !m_bFailed; }
    // What is missing when IsLoaded is false (names the library or the entry point).
    const std::wstring& LoadError() const { return m_szLoadError; }
    int32_t InstanceID() const { return m_nInstanceID; }

    // The library calls; each returns 0 (or 0.0) without calling anything when not loaded.
    int32_t DAOpenFile(const std::wstring& szFileName, const std::wstring& szPassword);
    int32_t DAFindPage(int32_t nFileHandle, int32_t nPage);
    double DAGetPageWidth(int32_t nFileHandle, int32_t nPageRef);
    double DAGetPageHeight(int32_t nFileHandle, int32_t nPageRef);
    int32_t DAGetPageCount(int32_t nFileHandle);
    int32_t DACloseFile(int32_t nFileHandle);
    int32_t DARotatePage(int32_t nFileHandle, int32_t nPageRef, int32_t nAngle, int32_t nRelative);
    int32_t DARenderPageToDC(int32_t nFileHandle, int32_t nPageRef, int32_t nDPI, HDC hDC);
    int32_t MergeFiles(const std::wstring& szFirst, const std::wstring& szSecond,
                       const std::wstring& szOutput);
    int32_t ExtractFilePages(const std::wstring& szInput, const std::wstring& szOutput,
                             const std::wstring& szRanges);
    int32_t LastErrorCode();

private:
    class CBuffer;

    void Load(const std::wstring& szLibraryName);
    template <typename T> bool Resolve(T& pfn, const char* szName);

    std::wstring m_szLibraryName;
    void* m_hModule = nullptr;
    bool m_bSharedModule = false; // the process-wide module of the default name: never freed here
    int32_t m_nInstanceID = 0;
    bool m_bFailed = false;
    std::wstring m_szLoadError;

    int32_t (*m_pfnCreateLibrary)() = nullptr;
    int32_t (*m_pfnReleaseLibrary)(int32_t) = nullptr;
    char* (*m_pfnCreateBuffer)(int32_t, int32_t) = nullptr;
    int32_t (*m_pfnAddToBuffer)(int32_t, char*, const char*, int32_t) = nullptr;
    int32_t (*m_pfnReleaseBuffer)(int32_t, char*) = nullptr;
    int32_t (*m_pfnDAOpenFile)(int32_t, const char*, const char*) = nullptr;
    int32_t (*m_pfnDAFindPage)(int32_t, int32_t, int32_t) = nullptr;
    double (*m_pfnDAGetPageWidth)(int32_t, int32_t, int32_t) = nullptr;
    double (*m_pfnDAGetPageHeight)(int32_t, int32_t, int32_t) = nullptr;
    int32_t (*m_pfnDAGetPageCount)(int32_t, int32_t) = nullptr;
    int32_t (*m_pfnDACloseFile)(int32_t, int32_t) = nullptr;
    int32_t (*m_pfnDARotatePage)(int32_t, int32_t, int32_t, int32_t, int32_t) = nullptr;
    int32_t (*m_pfnDARenderPageToDC)(int32_t, int32_t, int32_t, int32_t, HDC) = nullptr;
    int32_t (*m_pfnMergeFiles)(int32_t, const char*, const char*, const char*) = nullptr;
    int32_t (*m_pfnExtractFilePages)(int32_t, const char*, const char*, const char*) = nullptr;
    int32_t (*m_pfnLastErrorCode)(int32_t) = nullptr;
};
