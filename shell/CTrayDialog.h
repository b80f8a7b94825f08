// A dialog with an icon in the desktop's notification area (the tray) and a popup menu on it. The
// dialog stays hidden until it is shown as a form; minimising hides it into the tray.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QDialog>
#include <QIcon>
#include <QPoint>
#include <QSystemTrayIcon>

#include <functional>

class QMenu;

class CTrayDialog : public QDialog, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    // The window message that, sent to this dialog's window by another process, ends the program.
    // On X11: a ClientMessage (format 32) to the window whose first data word is this value.
    static constexpr uint32_t kEndMessage = 2026;

    // Creates the window (hidden) and, on X11, gives it the class szWindowClass. The tray icon is not
    // shown until AddTrayIcon.
    explicit CTrayDialog(const QString& szWindowClass, QWidget* pParent = nullptr);
    ~CTrayDialog() override;

    // The icon record.
    void SetTrayIcon(const QIcon& icon);
    void SetTrayTip(const QString& szTip);
    QMenu* TrayMenu() const { return m_pMenu; }
    QSystemTrayIcon* TrayIcon() const { return m_pTray; }

    // Shows the icon in the tray unless it is shown: an icon that Qt holds docked (or re-docks by
    // itself when an XEmbed tray host comes back) is left alone, so a periodic re-add never makes it
    // flicker. On the StatusNotifierItem route an item that the watcher no longer lists is registered
    // anew. Returns true when the icon is shown afterwards; sets the icon-shown flag then.
    bool AddTrayIcon();
    // Removes the icon; clears the icon-shown flag. Returns true.
    bool DeleteTrayIcon();
    bool IsIconShown() const { return m_bIconShown; }

    bool IsMinimizeToTray() const { return m_bMinimizeToTray; }

    // Tray mouse handlers, with the cursor position in screen coordinates. Base behaviour:
    // LButtonDblClk shows the dialog (minimise-to-tray set), RButtonUp pops the menu up at the point;
    // the others do nothing.
    virtual void OnTrayLButtonUp(const QPoint& pt);
    virtual void OnTrayLButtonDblClk(const QPoint& pt);
    virtual void OnTrayRButtonUp(const QPoint& pt);
    virtual void OnTrayRButtonDblClk(const QPoint& pt);
    virtual void OnTrayMouseMove(const QPoint& pt);
    // Called each time the tray menu is about to open, however it was opened (by Qt on the icon, by a
    // StatusNotifierItem host, or by OnTrayRButtonUp).
    virtual void OnTrayMenuAboutToShow() {}

    // The end message at the window: removes the icon and asks the event loop to end with code 0.
    void OnEndMessage();

    // True when the tray is reached through a StatusNotifierItem host on the session bus (which
    // reports an activation, never a double click), false for XEmbed.
    static bool IsStatusNotifierRoute();

    // True when a watcher's item list names an item of process nPid. A watcher may name an item by
    // the well-known name it was registered under or by the unique name of the connection that
    // registered it, with or without the object path ("org.kde.StatusNotifierItem-12-1",
    // ":1.7/StatusNotifierItem"); fnPidOf gives the process that owns a bus name (-1 when unknown).
    static bool ListsItemOf(const QStringList& items, qint64 nPid,
                            const std::function<qint64(const QString&)>& fnPidOf);

protected:
    void changeEvent(QEvent* pEvent) override;
    bool nativeEventFilter(const QByteArray& eventType, void* pMessage, qintptr* pResult) override;

private:
    // On the StatusNotifierItem route: whether the watcher on the session bus lists this process's
    // item (true also when there is no watcher, or when it cannot be asked: only an item that is
    // surely gone is registered anew).
    static bool IsRegisteredWithWatcher();
    void OnActivated(QSystemTrayIcon::ActivationReason eReason);

    QSystemTrayIcon* m_pTray = nullptr;
    QMenu* m_pMenu = nullptr;
    bool m_bIconShown = false;
    bool m_bMinimizeToTray = true;
    bool m_bStatusNotifier = false;
};
