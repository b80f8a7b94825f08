// The log's records as a table model.
#include "standins/logvista/CLogTableModel.h"

#include "standins/logvista/CLogParser.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyle>

namespace
{

QString Text(const std::string& szUtf8)
{
    return QString::fromUtf8(szUtf8.data(), static_cast<qsizetype>(szUtf8.size()));
}

} // namespace

CLogTableModel::CLogTableModel(QObject* pParent) : QAbstractTableModel(pParent)
{
    if (QStyle* pStyle = QApplication::style())
    {
        m_icons[0] = pStyle->standardIcon(QStyle::SP_MessageBoxCritical);
        m_icons[1] = pStyle->standardIcon(QStyle::SP_MessageBoxWarning);
        m_icons[2] = pStyle->standardIcon(QStyle::SP_MessageBoxInformation);
    }
}

int CLogTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CLogTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString CLogTableModel::LevelText(ELogLevel eLevel)
{
    switch (eLevel)
    {
    case ELogLevel::Error:
        return QStringLiteral("error");
    case ELogLevel::Warning:
        return QStringLiteral("warning");
    case ELogLevel::Information:
        return QStringLiteral("information");
    case ELogLevel::Unparsed:
        break;
    }
    return QString();
}

QVariant CLogTableModel::data(const QModelIndex& index, int nRole) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return QVariant();
    const SRow& row = m_rows[static_cast<size_t>(index.row())];
    const SLogRecord& record = row.m_record;
    switch (nRole)
    {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column())
        {
        case ColumnCategory:
            return LevelText(record.m_eLevel);
        case ColumnCode:
            return Text(record.m_szCode);
        case ColumnCodeText:
            return Text(record.m_szCodeText);
        case ColumnDate:
            return Text(record.m_szDate);
        case ColumnTime:
            return Text(record.m_szTime);
        case ColumnMessage:
            return Text(record.m_szMessage);
        }
        break;
    case Qt::DecorationRole:
        if (index.column() == ColumnCategory && record.m_eLevel != ELogLevel::Unparsed)
            return m_icons[static_cast<int>(record.m_eLevel)];
        break;
    case Qt::FontRole:
        if (record.m_eLevel == ELogLevel::Unparsed)
        {
            QFont font;
            font.setItalic(true);
            return font;
        }
        break;
    case LevelRole:
        return static_cast<int>(record.m_eLevel);
    case SortStampRole:
        return row.m_nSortStamp;
    case SearchTextRole:
    {
        QString szText = LevelText(record.m_eLevel);
        for (const std::string* pField : {&record.m_szCode, &record.m_szCodeText, &record.m_szDate,
                                          &record.m_szTime, &record.m_szMessage})
        {
            szText += QLatin1Char('\n');
            szText += Text(*pField);
        }
        return szText;
    }
    }
    return QVariant();
}

QVariant CLogTableModel::headerData(int nSection, Qt::Orientation eOrientation, int nRole) const
{
    if (eOrientation != Qt::Horizontal || nRole != Qt::DisplayRole)
        return QAbstractTableModel::headerData(nSection, eOrientation, nRole);
    static const char* const kHeaders[ColumnCount] = {"Category", "Code", "Description",
                                                      "Date",     "Time", "Message"};
    return nSection >= 0 && nSection < ColumnCount ? QString::fromLatin1(kHeaders[nSection]) : QVariant();
}

void CLogTableModel::AddRow(SLogRecord record, std::vector<SRow>& rows) const
{
    // An unparsed line sorts with the record before it, so that it keeps its place by date.
    qint64 nStamp = record.m_nStamp;
    if (nStamp < 0)
    {
        if (!rows.empty())
            nStamp = rows.back().m_nSortStamp;
        else if (!m_rows.empty())
            nStamp = m_rows.back().m_nSortStamp;
    }
    rows.push_back(SRow{std::move(record), nStamp});
}

void CLogTableModel::Append(std::vector<SLogRecord> records, const std::string& szPending)
{
    if (m_bProvisional)
    {
        const int nLast = static_cast<int>(m_rows.size()) - 1;
        beginRemoveRows(QModelIndex(), nLast, nLast);
        m_rows.pop_back();
        m_bProvisional = false;
        endRemoveRows();
    }
    std::vector<SRow> rows;
    rows.reserve(records.size() + 1);
    for (SLogRecord& record : records)
        AddRow(std::move(record), rows);
    if (!szPending.empty())
        AddRow(CLogParser::ParseLine(szPending), rows);
    if (rows.empty())
        return;
    const int nFirst = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), nFirst, nFirst + static_cast<int>(rows.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    m_bProvisional = !szPending.empty();
    endInsertRows();
}

void CLogTableModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    m_bProvisional = false;
    endResetModel();
}
