// One instance of the PDF library: its open files, its text buffers and its last error code.
// Used by one thread at a time; instances share nothing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "standins/pdflib/SDeviceContext.h"

class CPdfFile;

class CPdfInstance
{
public:
    CPdfInstance();
    virtual ~CPdfInstance();
    CPdfInstance(const CPdfInstance&) = delete;
    CPdfInstance& operator=(const CPdfInstance&) = delete;

    char* CreateBuffer(int32_t nLength);
    int32_t AddToBuffer(char* pBuffer, const char* pSource, int32_t nLength);
    int32_t ReleaseBuffer(char* pBuffer);

    // The entry points' work; each sets the last error code (0 on success).
    int32_t OpenFile(const char* szFileName, const char* szPassword);
    int32_t FindPage(int32_t nFileHandle, int32_t nPage);
    double GetPageWidth(int32_t nFileHandle, int32_t nPageRef);
    double GetPageHeight(int32_t nFileHandle, int32_t nPageRef);
    int32_t GetPageCount(int32_t nFileHandle);
    int32_t CloseFile(int32_t nFileHandle);
    int32_t RotatePage(int32_t nFileHandle, int32_t nPageRef, int32_t nAngle, int32_t nRelative);
    int32_t RenderPageToDC(int32_t nFileHandle, int32_t nPageRef, int32_t nDPI, HDC hDC);
    int32_t MergeFiles(const char* szFirst, const char* szSecond, const char* szOutput);
    int32_t ExtractFilePages(const char* szInput, const char* szOutput, const char* szRangeList);
    int32_t LastErrorCode() const { return m_nLastError; }

private:
    // The open file of a handle, or nullptr with 501 as last error.
    CPdfFile* FileOf(int32_t nFileHandle);
    // Removes an existing output file; 0 or 402.
    static int RemoveOutput(const std::string& szOutput);

    std::map<int32_t, std::unique_ptr<CPdfFile>> m_files;
    struct SBuffer
    {
        std::unique_ptr<char[]> pMemory;
        int32_t nCapacity = 0;
        int32_t nUsed = 0;
    };

    std::map<char*, SBuffer> m_buffers;
    int32_t m_nNextHandle = 1;
    int32_t m_nLastError = 0;
};
