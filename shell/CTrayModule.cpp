// Loading of the tray module.
#include "shell/CTrayModule.h"

#include "platform/FileSystem.h"
#include "platform/Library.h"
#include "util/ProgramPaths.h"
#include "util/utf8_conversion.h"

#include <cstdio>

const wchar_t* const CTrayModule::kFileName = L"libtarvik-tray.so";

std::unique_ptr<ITrayProgram> CTrayModule::Load()
{
    const std::wstring szPath = ExecutableDirectory() + kFileName;
    const std::string szNarrow = utf8_conversion::Encode(szPath);
    if (platform::GetFileKind(szPath, true) == platform::EFileKind::Missing)
    {
        std::fprintf(stderr, "tarvik: the tray module is not installed (%s); running without a desktop\n",
                     szNarrow.c_str());
        return nullptr;
    }
    platform::HMODULE hModule = platform::LoadLibrary(szPath);
    auto pfCreate =
        hModule != nullptr
            ? reinterpret_cast<PFCreateTrayProgram>(platform::GetProcAddress(hModule, kCreateTrayProgramName))
            : nullptr;
    ITrayProgram* pProgram = pfCreate != nullptr ? pfCreate(kTrayProgramVersion) : nullptr;
    if (pProgram == nullptr)
    {
        const std::wstring szWhy = pfCreate != nullptr ? L"it was built for another version of tarvik"
                                                       : platform::LastLibraryErrorText();
        std::fprintf(stderr, "tarvik: the tray module %s cannot be used (%s); running without a desktop\n",
                     szNarrow.c_str(), utf8_conversion::Encode(szWhy).c_str());
        return nullptr;
    }
    return std::unique_ptr<ITrayProgram>(pProgram);
}
