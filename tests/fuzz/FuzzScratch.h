// A scratch file per fuzzing process (in /dev/shm where it can be written), for targets whose
// code under test reads a path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace fuzz
{

inline std::string ScratchPath(const char* szTarget, const char* szExtension)
{
    const char* szDir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(szDir) + "/" + szTarget + "-" + std::to_string(getpid()) + szExtension;
}

// Replaces the file's content with the bytes; false when it cannot be written.
inline bool WriteScratch(const std::string& szPath, const uint8_t* pData, size_t nSize)
{
    FILE* pFile = std::fopen(szPath.c_str(), "wb");
    if (!pFile)
        return false;
    const bool bWritten = std::fwrite(pData, 1, nSize, pFile) == nSize;
    return std::fclose(pFile) == 0 && bWritten;
}

} // namespace fuzz
