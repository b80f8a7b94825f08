// Filtering and sorting of the log's rows.
#include "standins/logvista/CLogFilterModel.h"

#include "standins/logvista/CLogTableModel.h"
#include "standins/logvista/SLogRecord.h"

CLogFilterModel::CLogFilterModel(QObject* pParent) : QSortFilterProxyModel(pParent)
{
    setDynamicSortFilter(true);
    setSortRole(CLogTableModel::SortStampRole);
}

void CLogFilterModel::SetCategoryFilter(ECategoryFilter eFilter)
{
    if (eFilter == m_eCategory)
        return;
    m_eCategory = eFilter;
    invalidateRowsFilter();
}

void CLogFilterModel::SetTextFilter(const QString& szText)
{
    if (szText == m_szText)
        return;
    m_szText = szText;
    invalidateRowsFilter();
}

bool CLogFilterModel::filterAcceptsRow(int nSourceRow, const QModelIndex& sourceParent) const
{
    const QModelIndex index = sourceModel()->index(nSourceRow, 0, sourceParent);
    if (m_eCategory != ShowAll)
    {
        static const ELogLevel kLevels[] = {ELogLevel::Unparsed, ELogLevel::Error, ELogLevel::Warning,
                                            ELogLevel::Information};
        if (index.data(CLogTableModel::LevelRole).toInt() != static_cast<int>(kLevels[m_eCategory]))
            return false;
    }
    return m_szText.isEmpty() ||
           index.data(CLogTableModel::SearchTextRole).toString().contains(m_szText, Qt::CaseInsensitive);
}

bool CLogFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const int nColumn = left.column();
    int nOrder = 0;
    if (nColumn == CLogTableModel::ColumnDate || nColumn == CLogTableModel::ColumnTime)
    {
        const qint64 nLeft = left.data(CLogTableModel::SortStampRole).toLongLong();
        const qint64 nRight = right.data(CLogTableModel::SortStampRole).toLongLong();
        nOrder = nLeft < nRight ? -1 : (nLeft > nRight ? 1 : 0);
    }
    else if (nColumn == CLogTableModel::ColumnCategory)
    {
        nOrder = left.data(CLogTableModel::LevelRole).toInt() - right.data(CLogTableModel::LevelRole).toInt();
    }
    else if (nColumn == CLogTableModel::ColumnCode)
    {
        const qlonglong nLeft = left.data().toString().toLongLong();
        const qlonglong nRight = right.data().toString().toLongLong();
        nOrder = nLeft < nRight ? -1 : (nLeft > nRight ? 1 : 0);
    }
    else
    {
        nOrder = QString::localeAwareCompare(left.data().toString(), right.data().toString());
    }
    if (nOrder != 0)
        return nOrder < 0;
    // Equal keys keep the order of the file.
    return left.row() < right.row();
}
