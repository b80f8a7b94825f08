// The log's records as a table of six columns, for a QTableView through CLogFilterModel. Rows are
// kept in file order; the row of a line still being written is provisional and replaced when the
// line is complete.
#pragma once

#include "standins/logvista/SLogRecord.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <string>
#include <vector>

class CLogTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum EColumn
    {
        ColumnCategory,
        ColumnCode,
        ColumnCodeText,
        ColumnDate,
        ColumnTime,
        ColumnMessage,
        ColumnCount
    };
    enum ERole
    {
        // int: the ELogLevel of the row.
        LevelRole = Qt::UserRole + 1,
        // qint64: the row's moment for sorting; an unparsed line takes that of the record before it.
        SortStampRole,
        // QString: every field of the row, for the text filter.
        SearchTextRole,
    };

    explicit CLogTableModel(QObject* pParent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation eOrientation,
                        int nRole = Qt::DisplayRole) const override;

    // Adds complete records after the last one; szPending (the incomplete last line, may be empty)
    // becomes the provisional last row in place of the previous one.
    void Append(std::vector<SLogRecord> records, const std::string& szPending);
    // Drops every row (the file was replaced).
    void Clear();

    // The word the category column shows for a level: "error", "warning", "information", or empty.
    static QString LevelText(ELogLevel eLevel);
    const SLogRecord& Record(int nRow) const { return m_rows[static_cast<size_t>(nRow)].m_record; }
    // Whether the last row shows a line still without its line end.
    bool HasProvisionalRow() const { return m_bProvisional; }

private:
    struct SRow
    {
        SLogRecord m_record;
        qint64 m_nSortStamp;
    };

    void AddRow(SLogRecord record, std::vector<SRow>& rows) const;

    std::vector<SRow> m_rows;
    bool m_bProvisional = false;
    QIcon m_icons[3];
};
