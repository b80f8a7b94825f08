// The tray dialog: icon record, add and delete, mouse routing, minimise to tray, the end message.
#include "shell/CTrayDialog.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>
#include <QWindowStateChangeEvent>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

CTrayDialog::CTrayDialog(const QString& szWindowClass, QWidget* pParent) : QDialog(pParent)
{
    m_pTray = new QSystemTrayIcon(this);
    m_pMenu = new QMenu(this);
    m_pTray->setContextMenu(m_pMenu);
    connect(m_pMenu, &QMenu::aboutToShow, this, [this]() { OnTrayMenuAboutToShow(); });
    connect(m_pTray, &QSystemTrayIcon::activated, this, &CTrayDialog::OnActivated);
    m_bStatusNotifier = IsStatusNotifierRoute();

    // The window exists from now on (hidden), so that other processes can find it by its class.
    const WId nWindow = winId();
    auto* pX11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() == QLatin1String("xcb") && pX11 != nullptr &&
        pX11->connection() != nullptr)
    {
        // Qt names every window of the process alike; this one carries a class of its own.
        const QByteArray szInstance = QCoreApplication::applicationFilePath().section('/', -1).toLocal8Bit();
        const QByteArray szValue = szInstance + '\0' + szWindowClass.toLatin1() + '\0';
        xcb_connection_t* pConnection = pX11->connection();
        xcb_change_property(pConnection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(nWindow),
                            XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, static_cast<uint32_t>(szValue.size()),
                            szValue.constData());
        xcb_flush(pConnection);
        qApp->installNativeEventFilter(this);
    }
}

CTrayDialog::~CTrayDialog()
{
    if (qApp != nullptr)
        qApp->removeNativeEventFilter(this);
    if (m_bIconShown)
        DeleteTrayIcon();
}

void CTrayDialog::SetTrayIcon(const QIcon& icon)
{
    m_pTray->setIcon(icon);
}

void CTrayDialog::SetTrayTip(const QString& szTip)
{
    m_pTray->setToolTip(szTip.left(127)); // the tip holds at most 127 characters
}

bool CTrayDialog::AddTrayIcon()
{
    if (m_pTray->isVisible() && m_bStatusNotifier && !IsRegisteredWithWatcher())
        m_pTray->hide(); // the host lost the item (its watcher restarted): register it anew below
    if (!m_pTray->isVisible())
        m_pTray->show();
    m_bIconShown = m_pTray->isVisible();
    return m_bIconShown;
}

bool CTrayDialog::DeleteTrayIcon()
{
    m_pTray->hide();
    m_bIconShown = false;
    return true;
}

void CTrayDialog::OnTrayLButtonUp(const QPoint&) {}

void CTrayDialog::OnTrayLButtonDblClk(const QPoint&)
{
    if (!m_bMinimizeToTray)
        return;
    showNormal();
    raise();
    activateWindow();
}

void CTrayDialog::OnTrayRButtonUp(const QPoint& pt)
{
    activateWindow();
    m_pMenu->popup(pt - QPoint(0, m_pMenu->sizeHint().height())); // bottom edge at the point
}

void CTrayDialog::OnTrayRButtonDblClk(const QPoint&) {}

void CTrayDialog::OnTrayMouseMove(const QPoint&) {}

void CTrayDialog::OnEndMessage()
{
    if (m_bIconShown)
        DeleteTrayIcon();
    QMetaObject::invokeMethod(
        qApp, []() { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

bool CTrayDialog::IsStatusNotifierRoute()
{
    // The same test Qt makes when it chooses the route: a watcher that has a host registered.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr ||
        !bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")))
        return false;
    QDBusInterface watcher(QStringLiteral("org.kde.StatusNotifierWatcher"),
                           QStringLiteral("/StatusNotifierWatcher"),
                           QStringLiteral("org.kde.StatusNotifierWatcher"), bus);
    return watcher.property("IsStatusNotifierHostRegistered").toBool();
}

bool CTrayDialog::IsRegisteredWithWatcher()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr ||
        !bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")))
        return true; // no watcher to register with: nothing a new show could change
    QDBusInterface watcher(QStringLiteral("org.kde.StatusNotifierWatcher"),
                           QStringLiteral("/StatusNotifierWatcher"),
                           QStringLiteral("org.kde.StatusNotifierWatcher"), bus);
    const QStringList items = watcher.property("RegisteredStatusNotifierItems").toStringList();
    // Qt registers this process's items under a service name that carries the process id.
    const QString szOwn = QStringLiteral("StatusNotifierItem-%1-").arg(QCoreApplication::applicationPid());
    const QString szBase = bus.baseService();
    for (const QString& szItem : items)
        if (szItem.contains(szOwn) || szItem.startsWith(szBase))
            return true;
    return false;
}

void CTrayDialog::changeEvent(QEvent* pEvent)
{
    QDialog::changeEvent(pEvent);
    if (pEvent->type() == QEvent::WindowStateChange && m_bMinimizeToTray && isMinimized())
    {
        AddTrayIcon();
        // Hidden instead of minimised; the next show brings the window back in its normal state.
        QTimer::singleShot(0, this,
                           [this]()
                           {
                               setWindowState(windowState() & ~Qt::WindowMinimized);
                               hide();
                           });
    }
}

bool CTrayDialog::nativeEventFilter(const QByteArray& eventType, void* pMessage, qintptr* pResult)
{
    if (eventType != "xcb_generic_event_t" || pMessage == nullptr)
        return false;
    auto* pEvent = static_cast<xcb_generic_event_t*>(pMessage);
    if ((pEvent->response_type & 0x7F) != XCB_CLIENT_MESSAGE)
        return false;
    auto* pClient = static_cast<xcb_client_message_event_t*>(pMessage);
    if (pClient->window != static_cast<xcb_window_t>(winId()) || pClient->format != 32 ||
        pClient->data.data32[0] != kEndMessage)
        return false;
    OnEndMessage();
    if (pResult != nullptr)
        *pResult = 1;
    return true;
}

void CTrayDialog::OnActivated(QSystemTrayIcon::ActivationReason eReason)
{
    const QPoint pt = QCursor::pos();
    switch (eReason)
    {
    case QSystemTrayIcon::Trigger:
        // A StatusNotifierItem host reports only activations: there one shows the form.
        if (m_bStatusNotifier)
            OnTrayLButtonDblClk(pt);
        else
            OnTrayLButtonUp(pt);
        break;
    case QSystemTrayIcon::DoubleClick:
        OnTrayLButtonDblClk(pt);
        break;
    case QSystemTrayIcon::Context:
        // Qt opens the context menu itself (OnTrayMenuAboutToShow sets its states first).
        break;
    default:
        break;
    }
}
