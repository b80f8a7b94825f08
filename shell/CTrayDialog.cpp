// The tray dialog: icon record, add and delete, mouse routing, minimise to tray, the end message.
#include "shell/CTrayDialog.h"

#include "shell/DesktopSession.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>
#include <QWindowStateChangeEvent>

CTrayDialog::CTrayDialog(const QString& szWindowClass, QWidget* pParent) : QDialog(pParent)
{
    m_pTray = new QSystemTrayIcon(this);
    m_pMenu = new QMenu(this);
    m_pTray->setContextMenu(m_pMenu);
    connect(m_pMenu, &QMenu::aboutToShow, this, [this]() { OnTrayMenuAboutToShow(); });
    connect(m_pTray, &QSystemTrayIcon::activated, this, &CTrayDialog::OnActivated);
    m_bStatusNotifier = IsStatusNotifierRoute();

    // The window exists from now on (hidden), so that other processes can find it by its class.
    if (desktop::SetWindowClass(winId(), szWindowClass))
        qApp->installNativeEventFilter(this);
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

bool CTrayDialog::ListsItemOf(const QStringList& items, qint64 nPid,
                              const std::function<qint64(const QString&)>& fnPidOf)
{
    const QString szOwnPrefix = QStringLiteral("org.kde.StatusNotifierItem-%1-").arg(nPid);
    for (const QString& szItem : items)
    {
        const QString szService = szItem.section('/', 0, 0); // the object path, if any, dropped
        if (szService.isEmpty())
            continue;
        if (szService.startsWith(szOwnPrefix) || fnPidOf(szService) == nPid)
            return true;
    }
    return false;
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
    const QVariant items = watcher.property("RegisteredStatusNotifierItems");
    if (!items.isValid())
        return true; // the watcher did not answer: do not drop an item that may be shown
    // Qt's tray icon registers over a connection of its own, so the item is recognised by the process
    // that owns the name the watcher recorded, whichever connection that is.
    QDBusConnectionInterface* pBus = bus.interface();
    return ListsItemOf(items.toStringList(), QCoreApplication::applicationPid(),
                       [pBus](const QString& szName) -> qint64
                       {
                           const QDBusReply<uint> reply = pBus->servicePid(szName);
                           return reply.isValid() ? static_cast<qint64>(reply.value()) : -1;
                       });
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
    if (!desktop::IsWindowMessage(eventType, pMessage, winId(), kEndMessage))
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
