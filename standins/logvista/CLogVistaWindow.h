// The viewer's window: the log as a table with a category filter and a text filter, following the
// file as the service appends to it and rotates it. Object names for tests and assistive tools:
// "logTable", "categoryFilter", "textFilter", "followCheck", "messageLabel", "statusLabel".
#pragma once

#include "standins/logvista/CLogTail.h"

#include <QFileSystemWatcher>
#include <QTimer>
#include <QWidget>

class CLogFilterModel;
class CLogTableModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

class CLogVistaWindow : public QWidget
{
    Q_OBJECT

public:
    // Shows the log at szPath (UTF-8): reads it whole at once and then follows it. A path that
    // cannot be read leaves the table empty and says why in the message line; the window keeps
    // watching, and shows the file once it can be read.
    explicit CLogVistaWindow(const std::string& szPath, QWidget* pParent = nullptr);

    CLogTableModel* Model() const { return m_pModel; }
    CLogFilterModel* FilterModel() const { return m_pFilter; }
    QTableView* Table() const { return m_pTable; }

    // What the first size leaves free of the screen's available area for the window's frame.
    static const QSize kFrameAllowance;

public slots:
    // Reads what was appended (or the new file after a rotation) and shows it.
    void Refresh();

private:
    void OnWatcherSignal();
    void WatchFile();
    void ScrollToNewest();
    void UpdateStatus();

    CLogTail m_tail;
    QString m_szPath;
    CLogTableModel* m_pModel;
    CLogFilterModel* m_pFilter;
    QTableView* m_pTable;
    QComboBox* m_pCategory;
    QLineEdit* m_pText;
    QCheckBox* m_pFollow;
    QLabel* m_pMessage;
    QLabel* m_pStatus;
    QFileSystemWatcher m_watcher;
    // Gathers a burst of change signals into one read.
    QTimer m_refreshTimer;
};
