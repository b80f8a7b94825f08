// What the tray program needs of the window system beyond Qt, behind one seam: whether a display can
// be reached, a window class of one window's own, and the end message that another process sends to
// that window. DesktopSession_xcb.cpp implements it for X11; on other Qt platforms the window class
// and the end message are not available and the calls do nothing.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGui/qwindowdefs.h>

#include <cstdint>

namespace desktop
{

// True when the process can show windows: a Qt platform was chosen by hand (QT_QPA_PLATFORM), the
// session is not an X11 one (Wayland), or the X server named by DISPLAY answers. Says on standard
// error when DISPLAY names a server that cannot be reached.
bool DisplayReachable();

// Gives the window the class szClass (instance: the program's file name), so that other processes
// find it by that class. Returns false when the platform has no window classes.
bool SetWindowClass(WId nWindow, const QString& szClass);

// True when the native event (as a QAbstractNativeEventFilter receives it) is a message whose first
// data word is nMessage, sent to nWindow by another process.
bool IsWindowMessage(const QByteArray& eventType, void* pEvent, WId nWindow, uint32_t nMessage);

} // namespace desktop
