// The viewer's window.
#include "standins/logvista/CLogVistaWindow.h"

#include "standins/logvista/CLogFilterModel.h"
#include "standins/logvista/CLogTableModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

CLogVistaWindow::CLogVistaWindow(const std::string& szPath, QWidget* pParent)
    : QWidget(pParent), m_tail(szPath), m_szPath(QString::fromStdString(szPath)),
      m_pModel(new CLogTableModel(this)), m_pFilter(new CLogFilterModel(this))
{
    setWindowTitle(QStringLiteral("Log - %1").arg(m_szPath));
    m_pFilter->setSourceModel(m_pModel);

    auto* pCategoryLabel = new QLabel(QStringLiteral("&Category:"), this);
    m_pCategory = new QComboBox(this);
    m_pCategory->setObjectName(QStringLiteral("categoryFilter"));
    m_pCategory->setAccessibleName(QStringLiteral("Category"));
    m_pCategory->addItems({QStringLiteral("All"), QStringLiteral("Errors"), QStringLiteral("Warnings"),
                           QStringLiteral("Information")});
    pCategoryLabel->setBuddy(m_pCategory);

    auto* pTextLabel = new QLabel(QStringLiteral("&Find:"), this);
    m_pText = new QLineEdit(this);
    m_pText->setObjectName(QStringLiteral("textFilter"));
    m_pText->setAccessibleName(QStringLiteral("Find"));
    m_pText->setPlaceholderText(QStringLiteral("Text in any field"));
    m_pText->setClearButtonEnabled(true);
    pTextLabel->setBuddy(m_pText);

    m_pFollow = new QCheckBox(QStringLiteral("F&ollow new records"), this);
    m_pFollow->setObjectName(QStringLiteral("followCheck"));
    m_pFollow->setChecked(true);

    auto* pBar = new QHBoxLayout;
    pBar->addWidget(pCategoryLabel);
    pBar->addWidget(m_pCategory);
    pBar->addSpacing(12);
    pBar->addWidget(pTextLabel);
    pBar->addWidget(m_pText, 1);
    pBar->addSpacing(12);
    pBar->addWidget(m_pFollow);

    m_pMessage = new QLabel(this);
    m_pMessage->setObjectName(QStringLiteral("messageLabel"));
    m_pMessage->setStyleSheet(QStringLiteral("QLabel { color: #a40000; font-weight: bold; }"));
    m_pMessage->setWordWrap(true);
    m_pMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pMessage->hide();

    m_pTable = new QTableView(this);
    m_pTable->setObjectName(QStringLiteral("logTable"));
    m_pTable->setAccessibleName(QStringLiteral("Log records"));
    m_pTable->setModel(m_pFilter);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setAlternatingRowColors(true);
    m_pTable->setWordWrap(false);
    m_pTable->setTextElideMode(Qt::ElideRight);
    m_pTable->setSortingEnabled(true);
    m_pTable->sortByColumn(CLogTableModel::ColumnDate, Qt::AscendingOrder);
    // Fixed row heights and column widths: nothing measures every row, so a full log opens at once.
    QHeaderView* pRows = m_pTable->verticalHeader();
    pRows->setSectionResizeMode(QHeaderView::Fixed);
    pRows->setDefaultSectionSize(fontMetrics().height() + 6);
    pRows->hide();
    QHeaderView* pColumns = m_pTable->horizontalHeader();
    pColumns->setStretchLastSection(true);
    const QFontMetrics metrics = fontMetrics();
    const int nPad = 24;
    pColumns->resizeSection(CLogTableModel::ColumnCategory,
                            metrics.horizontalAdvance("information") + nPad + 20);
    pColumns->resizeSection(CLogTableModel::ColumnCode, metrics.horizontalAdvance("Code00") + nPad);
    pColumns->resizeSection(CLogTableModel::ColumnCodeText,
                            metrics.horizontalAdvance("Document monitoring service error") + nPad);
    pColumns->resizeSection(CLogTableModel::ColumnDate, metrics.horizontalAdvance("00/00/0000") + nPad);
    pColumns->resizeSection(CLogTableModel::ColumnTime, metrics.horizontalAdvance("00:00:00.000") + nPad);

    m_pStatus = new QLabel(this);
    m_pStatus->setObjectName(QStringLiteral("statusLabel"));
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pBar);
    pLayout->addWidget(m_pMessage);
    pLayout->addWidget(m_pTable, 1);
    pLayout->addWidget(m_pStatus);

    connect(m_pCategory, &QComboBox::currentIndexChanged, this,
            [this](int nIndex)
            {
                m_pFilter->SetCategoryFilter(static_cast<CLogFilterModel::ECategoryFilter>(nIndex));
                UpdateStatus();
            });
    connect(m_pText, &QLineEdit::textChanged, this,
            [this](const QString& szText)
            {
                m_pFilter->SetTextFilter(szText);
                UpdateStatus();
            });
    connect(m_pFollow, &QCheckBox::toggled, this,
            [this](bool bOn)
            {
                if (bOn)
                    ScrollToNewest();
            });
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this,
            [this]
            {
                m_pText->setFocus();
                m_pText->selectAll();
            });

    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(50);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CLogVistaWindow::Refresh);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &CLogVistaWindow::OnWatcherSignal);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &CLogVistaWindow::OnWatcherSignal);
    // The folder tells of the file's creation, removal and replacement; the file of its appends.
    const QString szFolder = QFileInfo(m_szPath).absolutePath();
    if (QFileInfo(szFolder).isDir())
        m_watcher.addPath(szFolder);

    // Wide enough for the six columns where the screen allows, but never beyond its free area (panels
    // excluded), with room for the window manager's frame, so that every control stays in sight.
    QSize size(1100, 640);
    if (const QScreen* pScreen = screen())
        size = size.boundedTo(pScreen->availableGeometry().size() - kFrameAllowance);
    resize(size.expandedTo(minimumSizeHint()));
    Refresh();
}

const QSize CLogVistaWindow::kFrameAllowance(16, 48);

void CLogVistaWindow::OnWatcherSignal()
{
    if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

void CLogVistaWindow::WatchFile()
{
    // A watch follows the file it was set on, which after a rotation is the backup: set it anew.
    m_watcher.removePath(m_szPath);
    m_watcher.addPath(m_szPath);
}

void CLogVistaWindow::Refresh()
{
    std::vector<SLogRecord> records;
    bool bRestarted = false;
    const bool bRead = m_tail.Read(records, bRestarted);
    if (bRestarted)
        m_pModel->Clear();
    if (bRead)
    {
        if (bRestarted || !m_watcher.files().contains(m_szPath))
            WatchFile();
        m_pMessage->hide();
    }
    else
    {
        m_pMessage->setText(QStringLiteral("Unable to read log file %1: %2")
                                .arg(m_szPath, QString::fromLocal8Bit(m_tail.LastError().c_str())));
        m_pMessage->show();
    }
    const bool bChanged = !records.empty() || !m_tail.PendingLine().empty() || m_pModel->HasProvisionalRow();
    if (bChanged)
        m_pModel->Append(std::move(records), m_tail.PendingLine());
    if (m_pFollow->isChecked() && (bChanged || bRestarted))
        ScrollToNewest();
    UpdateStatus();
}

void CLogVistaWindow::ScrollToNewest()
{
    const int nRows = m_pModel->rowCount();
    if (nRows == 0)
        return;
    const QModelIndex index = m_pFilter->mapFromSource(m_pModel->index(nRows - 1, 0));
    // Lay the rows out now: the scroll range grows with the rows just added.
    m_pTable->doItemsLayout();
    if (index.isValid())
    {
        m_pTable->scrollTo(index, QAbstractItemView::PositionAtBottom);
        return;
    }
    // The newest record is filtered out: show the newest end of what is shown.
    if (m_pFilter->sortOrder() == Qt::DescendingOrder)
        m_pTable->scrollToTop();
    else
        m_pTable->scrollToBottom();
}

void CLogVistaWindow::UpdateStatus()
{
    m_pStatus->setText(QStringLiteral("%1 records, %2 shown  -  %3")
                           .arg(m_pModel->rowCount())
                           .arg(m_pFilter->rowCount())
                           .arg(m_szPath));
}
