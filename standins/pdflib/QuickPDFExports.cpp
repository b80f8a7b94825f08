// The exported entry points: each finds its instance and hands the call to it. The table of
// instances is the only state that instances share, guarded by a mutex and held only for the
// look-up.
#include "standins/pdflib/QuickPDFExports.h"

#include <map>
#include <memory>
#include <mutex>
#include <poppler/cpp/poppler-global.h>

#include "standins/pdflib/CPdfInstance.h"

namespace
{

struct SInstances
{
    std::mutex mutex;
    std::map<int32_t, std::shared_ptr<CPdfInstance>> instances;
    int32_t nNext = 1;
};

SInstances& Instances()
{
    static SInstances* pInstances = new SInstances; // never destroyed: calls may come at exit
    return *pInstances;
}

std::shared_ptr<CPdfInstance> Find(int32_t nInstance)
{
    SInstances& table = Instances();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto found = table.instances.find(nInstance);
    return found == table.instances.end() ? nullptr : found->second;
}

// poppler reports syntax problems on standard error; the library reports failures by code.
void QuietPoppler(const std::string&, void*) {}

} // namespace

#define WITH_INSTANCE(failure)                                                                               \
    const std::shared_ptr<CPdfInstance> pInstance = Find(nInstance);                                         \
    if (!pInstance)                                                                                          \
        return failure;

extern "C"
{

    int32_t QuickPDFCreateLibrary()
    {
        static std::once_flag s_quiet;
        std::call_once(s_quiet, [] { poppler::set_debug_error_function(QuietPoppler, nullptr); });
        SInstances& table = Instances();
        std::lock_guard<std::mutex> lock(table.mutex);
        if (table.nNext == INT32_MAX)
            return 0;
        const int32_t nInstance = table.nNext++;
        table.instances[nInstance] = std::make_shared<CPdfInstance>();
        return nInstance;
    }

    int32_t QuickPDFReleaseLibrary(int32_t nInstance)
    {
        std::shared_ptr<CPdfInstance> pInstance;
        {
            SInstances& table = Instances();
            std::lock_guard<std::mutex> lock(table.mutex);
            const auto found = table.instances.find(nInstance);
            if (found == table.instances.end())
                return 0;
            pInstance = std::move(found->second);
            table.instances.erase(found);
        }
        return 1; // the instance ends here, outside the lock
    }

    char* QuickPDFCreateBuffer(int32_t nInstance, int32_t nLength)
    {
        WITH_INSTANCE(nullptr)
        return pInstance->CreateBuffer(nLength);
    }

    int32_t QuickPDFAddToBuffer(int32_t nInstance, char* pBuffer, const char* pSource, int32_t nLength)
    {
        WITH_INSTANCE(0)
        return pInstance->AddToBuffer(pBuffer, pSource, nLength);
    }

    int32_t QuickPDFReleaseBuffer(int32_t nInstance, char* pBuffer)
    {
        WITH_INSTANCE(0)
        return pInstance->ReleaseBuffer(pBuffer);
    }

    int32_t QuickPDFDAOpenFile(int32_t nInstance, const char* szFileName, const char* szPassword)
    {
        WITH_INSTANCE(0)
        return pInstance->OpenFile(szFileName, szPassword);
    }

    int32_t QuickPDFDAFindPage(int32_t nInstance, int32_t nFileHandle, int32_t nPage)
    {
        WITH_INSTANCE(0)
        return pInstance->FindPage(nFileHandle, nPage);
    }

    double QuickPDFDAGetPageWidth(int32_t nInstance, int32_t nFileHandle, int32_t nPageRef)
    {
        WITH_INSTANCE(0.0)
        return pInstance->GetPageWidth(nFileHandle, nPageRef);
    }

    double QuickPDFDAGetPageHeight(int32_t nInstance, int32_t nFileHandle, int32_t nPageRef)
    {
        WITH_INSTANCE(0.0)
        return pInstance->GetPageHeight(nFileHandle, nPageRef);
    }

    int32_t QuickPDFDAGetPageCount(int32_t nInstance, int32_t nFileHandle)
    {
        WITH_INSTANCE(0)
        return pInstance->GetPageCount(nFileHandle);
    }

    int32_t QuickPDFDACloseFile(int32_t nInstance, int32_t nFileHandle)
    {
        WITH_INSTANCE(0)
        return pInstance->CloseFile(nFileHandle);
    }

    int32_t QuickPDFDARotatePage(int32_t nInstance, int32_t nFileHandle, int32_t nPageRef, int32_t nAngle,
                                 int32_t nRelative)
    {
        WITH_INSTANCE(0)
        return pInstance->RotatePage(nFileHandle, nPageRef, nAngle, nRelative);
    }

    int32_t QuickPDFDARenderPageToDC(int32_t nInstance, int32_t nFileHandle, int32_t nPageRef, int32_t nDPI,
                                     HDC hDC)
    {
        WITH_INSTANCE(0)
        return pInstance->RenderPageToDC(nFileHandle, nPageRef, nDPI, hDC);
    }

    int32_t QuickPDFMergeFiles(int32_t nInstance, const char* szFirst, const char* szSecond,
                               const char* szOutput)
    {
        WITH_INSTANCE(0)
        return pInstance->MergeFiles(szFirst, szSecond, szOutput);
    }

    int32_t QuickPDFExtractFilePages(int32_t nInstance, const char* szInput, const char* szOutput,
                                     const char* szRangeList)
    {
        WITH_INSTANCE(0)
        return pInstance->ExtractFilePages(szInput, szOutput, szRangeList);
    }

    int32_t QuickPDFLastErrorCode(int32_t nInstance)
    {
        WITH_INSTANCE(kPdfErrorInvalidFileHandle)
        return pInstance->LastErrorCode();
    }

} // extern "C"
