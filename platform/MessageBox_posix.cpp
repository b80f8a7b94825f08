// The default message-box presenter: caption and text as one line on standard error, the default
// button at once.
#include "platform/MessageBox.h"

#include "platform/DebugOutput.h"

#include <cstdlib>
#include <cstring>

namespace platform
{

namespace
{

class CStderrMessageBoxPresenter : public IMessageBoxPresenter
{
public:
    int Show(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType) override
    {
        OutputDebugText(L"[" + szCaption + L"] " + szText);
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
