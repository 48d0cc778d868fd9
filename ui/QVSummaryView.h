#pragma once

#include <array>
#include <vector>

#include <QAbstractItemModel>
#include <QString>

#include "storage/QVUtils.h"

class TQVEnvironment;

// One line of the summary: a group header (Group -1, no value) or a figure of group 0..5.
struct TQVSummaryItem {
    int Group = -1;
    QString Caption;
    QString Value;
};

// The summary page: six groups, each a top-level row, with the figures of the budget under them.
// The figures are computed and written once, when the view is made; the view keeps no reference
// to the budget, and a fresh view replaces it each time the page is shown.
class TQVSummaryView : public QAbstractItemModel {
    Q_OBJECT

public:
    static constexpr int GroupCount = 6;

    // `today` fixes the current and the previous month and the current year.
    explicit TQVSummaryView(TQVEnvironment& environment, TDateTime today = QVUtils::Now(),
                            QObject* parent = nullptr);

    // The figures in the order they were computed.
    const std::vector<TQVSummaryItem>& Rows() const { return FRows; }
    const TQVSummaryItem& Group(int group) const {
        return FGroups[static_cast<std::size_t>(group)];
    }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void AddRow(int group, const char* caption, long double value);
    // Null for an index of no row.
    const TQVSummaryItem* ItemAt(const QModelIndex& index) const;

    std::vector<TQVSummaryItem> FRows;
    std::array<TQVSummaryItem, GroupCount> FGroups;
    // Per group, the indexes into FRows of its figures, in computation order.
    std::array<std::vector<int>, GroupCount> FChildren;
};
