// Whether anyone can answer a message box on Linux: not without a display or with TARVIK_HEADLESS=1.
#include "platform/MessageBox.h"

#include <cstdlib>
#include <cstring>

namespace platform
{

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
