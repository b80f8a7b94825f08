// The default message-box presenter: caption and text on standard error, the default button at once.
#include "platform/MessageBox.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace platform
{

namespace
{

class CStderrMessageBoxPresenter : public IMessageBoxPresenter
{
public:
    int Show(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType) override
    {
        std::string szBytes = "[" + NativePath(szCaption) + "] " + NativePath(szText);
        while (!szBytes.empty() && (szBytes.back() == '\n' || szBytes.back() == '\r'))
        {
            szBytes.pop_back();
        }
        szBytes.push_back('\n');
        const char* p = szBytes.data();
        size_t nLeft = szBytes.size();
        while (nLeft > 0)
        {
            const ssize_t n = ::write(STDERR_FILENO, p, nLeft);
            if (n < 0 && errno == EINTR)
            {
                continue;
            }
            if (n <= 0)
            {
                break;
            }
            p += n;
            nLeft -= static_cast<size_t>(n);
        }
        return DefaultButton(nType);
    }
};

} // namespace

IMessageBoxPresenter& DefaultMessageBoxPresenter()
{
    static CStderrMessageBoxPresenter s_presenter;
    return s_presenter;
}

bool IsHeadless()
{
    const char* szHeadless = std::getenv("TARVIK_HEADLESS");
    if (szHeadless != nullptr && std::strcmp(szHeadless, "1") == 0)
    {
        return true;
    }
    const char* szDisplay = std::getenv("DISPLAY");
    const char* szWayland = std::getenv("WAYLAND_DISPLAY");
    return (szDisplay == nullptr || *szDisplay == '\0') && (szWayland == nullptr || *szWayland == '\0');
}

} // namespace platform
