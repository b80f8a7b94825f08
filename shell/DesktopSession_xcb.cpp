// The desktop seam on X11 through libxcb: the display check, WM_CLASS, and client messages.
#include "shell/DesktopSession.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

namespace
{

bool IsSet(const char* szName)
{
    const char* szValue = std::getenv(szName);
    return szValue != nullptr && *szValue != '\0';
}

xcb_connection_t* QtConnection()
{
    if (qApp == nullptr || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* pX11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return pX11 != nullptr ? pX11->connection() : nullptr;
}

} // namespace

namespace desktop
{

bool DisplayReachable()
{
    if (IsSet("QT_QPA_PLATFORM") || !IsSet("DISPLAY"))
        return true; // a platform chosen by hand, or Wayland
    // A display that cannot be reached would end the program inside Qt; run headless instead.
    xcb_connection_t* pConnection = xcb_connect(nullptr, nullptr);
    const bool bReachable = xcb_connection_has_error(pConnection) == 0;
    xcb_disconnect(pConnection);
    if (!bReachable)
        std::fprintf(stderr, "tarvik: the display %s cannot be reached; running without a desktop\n",
                     std::getenv("DISPLAY"));
    return bReachable;
}

bool SetWindowClass(WId nWindow, const QString& szClass)
{
    xcb_connection_t* pConnection = QtConnection();
    if (pConnection == nullptr)
        return false;
    // Qt names every window of the process alike; this one carries a class of its own.
    const QByteArray szInstance = QCoreApplication::applicationFilePath().section('/', -1).toLocal8Bit();
    const QByteArray szValue = szInstance + '\0' + szClass.toLatin1() + '\0';
    xcb_change_property(pConnection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(nWindow),
                        XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, static_cast<uint32_t>(szValue.size()),
                        szValue.constData());
    xcb_flush(pConnection);
    return true;
}

bool IsWindowMessage(const QByteArray& eventType, void* pEvent, WId nWindow, uint32_t nMessage)
{
    if (eventType != "xcb_generic_event_t" || pEvent == nullptr)
        return false;
    auto* pGeneric = static_cast<xcb_generic_event_t*>(pEvent);
    if ((pGeneric->response_type & 0x7F) != XCB_CLIENT_MESSAGE)
        return false;
    auto* pClient = static_cast<xcb_client_message_event_t*>(pEvent);
    return pClient->window == static_cast<xcb_window_t>(nWindow) && pClient->format == 32 &&
           pClient->data.data32[0] == nMessage;
}

} // namespace desktop
