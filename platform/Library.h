// Loading of shared libraries at run time, like LoadLibrary/GetProcAddress/FreeLibrary.
//
// Where this differs from Windows: a name NAME.dll stands for the Linux file libNAME.so (see
// Library_posix.h). A bare name is looked for beside the executable first, then in the
// directories of the environment variable TARVIK_LIBRARY_PATH (colon-separated; for programs that
// do not lie in bin/, such as tests), then in the dynamic loader's usual places (LD_LIBRARY_PATH,
// the system directories); a name with a directory is loaded from there only.
// A library stays mapped after its last FreeLibrary (RTLD_NODELETE), so that loading it again for
// the next document costs nothing instead of a full load and relocation of it and its dependencies
// (about 45 us for the PDF library); its static objects end at process exit. Failures set the last error
// (126 module not found, 127 entry point not found) and leave the loader's text in LastLibraryErrorText.
#pragma once

#include <cstdint>
#include <string>

namespace platform
{

using HMODULE = void*;

inline constexpr uint32_t kErrorModNotFound = 126;
inline constexpr uint32_t kErrorProcNotFound = 127;

// Loads a library (reference counted); nullptr on failure.
HMODULE LoadLibrary(const std::wstring& szName);

// The address of an exported symbol; nullptr on failure.
void* GetProcAddress(HMODULE hModule, const char* szName);

// Drops one reference of a loaded library (which stays mapped); false for a null handle.
bool FreeLibrary(HMODULE hModule);

// The dynamic loader's message for the calling thread's last failed LoadLibrary or
// GetProcAddress; empty when there was none.
std::wstring LastLibraryErrorText();

} // namespace platform
