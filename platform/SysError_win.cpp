// The last error on Windows: the thread's own Windows last error, and the system's message table for
// the numbers that the layer's English table lacks.
#include "platform/SysError_win.h"

#include "platform/Windows_win.h"

#include <string>

namespace platform
{

uint32_t GetLastError()
{
    return ::GetLastError();
}

void SetLastError(uint32_t nError)
{
    ::SetLastError(nError);
}

// FormatMessageW in US English first, then in the system's default language search order (a
// Windows without the English resources still explains the number). The last error is kept.
bool BackendSystemMessage(uint32_t nError, std::wstring& szMessage)
{
    szMessage.clear();
    CKeepLastError keep;
    const DWORD nFlags =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    for (const DWORD nLanguage : {static_cast<DWORD>(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), 0ul})
    {
        wchar_t* pText = nullptr;
        const DWORD nLength = ::FormatMessageW(nFlags, nullptr, nError, nLanguage,
                                               reinterpret_cast<wchar_t*>(&pText), 0, nullptr);
        if (nLength != 0 && pText != nullptr)
        {
            szMessage.assign(pText, nLength);
        }
        if (pText != nullptr)
        {
            ::LocalFree(pText);
        }
        if (!szMessage.empty())
        {
            break;
        }
    }
    if (szMessage.empty())
    {
        return false;
    }
    // Every line ends with CR LF, the last one too.
    while (!szMessage.empty() &&
           (szMessage.back() == L'\n' || szMessage.back() == L'\r' || szMessage.back() == L' '))
    {
        szMessage.pop_back();
    }
    szMessage += L"\r\n";
    return true;
}

CKeepLastError::CKeepLastError() : m_nError(::GetLastError()) {}

CKeepLastError::~CKeepLastError()
{
    ::SetLastError(m_nError);
}

bool FailWith(uint32_t nError)
{
    ::SetLastError(nError);
    return false;
}

} // namespace platform
