// Fuzz target: the TIFF document's open at page 1 and its page count, on arbitrary file content.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "documents/CTifDoc.h"

namespace
{

// One file per fuzzing process, rewritten for every input and removed at exit.
struct SInputFile
{
    std::string m_szPath = "/tmp/fuzz_tif_open_" + std::to_string(getpid()) + ".tif";
    ~SInputFile() { unlink(m_szPath.c_str()); }
};

const std::string& InputPath()
{
    static const SInputFile file;
    return file.m_szPath;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    {
        std::ofstream file(InputPath(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(nSize));
    }
    const std::string& szPath = InputPath();
    CTifDoc doc(std::wstring(szPath.begin(), szPath.end()));
    std::wstring szError;
    if (doc.Open(1, szError))
    {
        volatile int nPages = doc.GetPagesCount();
        (void)nPages;
        double dWidth = 0;
        double dHeight = 0;
        doc.GetPageSize(dWidth, dHeight);
    }
    doc.Close();
    return 0;
}
