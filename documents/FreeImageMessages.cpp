// The process-wide collection of FreeImage's and libtiff's messages.
#include "documents/FreeImageMessages.h"

#include <FreeImage.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/Encoding.h"

namespace
{

// The error texts of documents are read into a buffer of 260 characters with its terminator.
constexpr size_t kMaxMessageText = 259;

std::mutex& Lock()
{
    static std::mutex mutex;
    return mutex;
}

std::wstring& Collection()
{
    static std::wstring szCollection;
    return szCollection;
}

// Messages arrive in the ANSI code page; a byte sequence that does not convert is widened byte by
// byte so that nothing is lost.
std::wstring Widen(const std::string& szBytes)
{
    std::wstring szWide;
    if (!platform::MultiByteToWide(platform::kCodePageAnsi, szBytes, szWide))
        szWide.assign(szBytes.begin(), szBytes.end());
    return szWide;
}

void DLL_CALLCONV OnFreeImageMessage(FREE_IMAGE_FORMAT /*fif*/, const char* szMessage)
{
    if (szMessage)
        AppendFreeImageMessage(Widen(szMessage));
}

std::string FormatTiffMessage(const char* szFormat, va_list args)
{
    char szText[1024];
    std::vsnprintf(szText, sizeof(szText), szFormat ? szFormat : "", args);
    return szText;
}

// libtiff's errors join the collection in libtiff's own form "module: text", as its default
// handler would have printed them, set off from earlier messages by "; ".
void OnTiffError(const char* szModule, const char* szFormat, va_list args)
{
    const std::string szText = FormatTiffMessage(szFormat, args);
    if (IsLibTiffNoise(szModule, szText))
        return;
    const std::wstring szWide = Widen(szModule && *szModule ? std::string(szModule) + ": " + szText : szText);
    std::lock_guard<std::mutex> guard(Lock());
    if (!Collection().empty())
        Collection() += L"; ";
    Collection() += szWide;
}

// Warnings describe files that libtiff reads anyway (unknown private tags and the like); they
// would only crowd the real error out of the short error text, so they are dropped.
void OnTiffWarning(const char* /*szModule*/, const char* /*szFormat*/, va_list /*args*/) {}

} // namespace

bool IsLibTiffNoise(const char* szModule, const std::string& szText)
{
    static const char kNoise[] = "Internal error, unknown tag";
    return szModule && std::strcmp(szModule, "TIFFFieldWithTag") == 0 &&
           szText.compare(0, sizeof(kNoise) - 1, kNoise) == 0;
}

void ClearFreeImageMessages()
{
    std::lock_guard<std::mutex> guard(Lock());
    Collection().clear();
}

void InstallFreeImageMessageHandler()
{
    // Both libraries keep their handlers in process-wide variables that nothing else in the process
    // sets; installing them once keeps concurrent documents from racing on those variables.
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       FreeImage_SetOutputMessage(OnFreeImageMessage);
                       TIFFSetErrorHandler(OnTiffError);
                       TIFFSetWarningHandler(OnTiffWarning);
                   });
}

void AppendFreeImageMessage(const std::wstring& szMessage)
{
    std::lock_guard<std::mutex> guard(Lock());
    Collection() += szMessage;
}

std::wstring FreeImageMessagesText()
{
    std::lock_guard<std::mutex> guard(Lock());
    return Collection().substr(0, kMaxMessageText);
}
