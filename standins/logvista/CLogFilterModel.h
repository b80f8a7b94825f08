// Filters the log's rows by category and by text, and sorts them: the date and time columns by
// the moment they name, the code as a number, ties in file order.
#pragma once

#include <QSortFilterProxyModel>

class CLogFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    // The category filter's choices, in the order the window offers them.
    enum ECategoryFilter
    {
        ShowAll,
        ShowErrors,
        ShowWarnings,
        ShowInformation
    };

    explicit CLogFilterModel(QObject* pParent = nullptr);

    // Rows of other categories are hidden; ShowAll also shows lines that are not records.
    void SetCategoryFilter(ECategoryFilter eFilter);
    // Rows that hold szText in any field (letter case ignored) stay; an empty text keeps all.
    void SetTextFilter(const QString& szText);

protected:
    bool filterAcceptsRow(int nSourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    ECategoryFilter m_eCategory = ShowAll;
    QString m_szText;
};
