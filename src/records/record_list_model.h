#pragma once

#include <QAbstractTableModel>

#include <array>

#include "records/event_record.h"
#include "records/record_snapshot.h"

// One column of the record list: heading and width in pixels.
struct RecordListColumn {
    const char* heading;  // UTF-8
    int width;
};

namespace records {

// Row number, then the eight record fields in order.
inline constexpr int kRecordListColumnCount = 9;
inline constexpr std::array<RecordListColumn, kRecordListColumnCount> kRecordListColumns = {{
    {"序号", 50},
    {"  年", 50},
    {"月", 30},
    {"日", 30},
    {"时", 30},
    {"分", 30},
    {"秒", 30},
    {"毫秒", 50},
    {"             事    件", 186},
}};

}  // namespace records

// The record list's rows: column 0 the 1-based row number, columns 1 to 8 the record's texts.
// The rows are a snapshot of a record table, replaced in one step (one model reset); only the
// rows the view shows are read, so a long table lists at once.
class RecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Shows `rows` in place of the current rows.
    void SetRows(RecordSnapshot rows);
    void Clear();
    // The record shown in a row (0-based); an empty record outside the rows.
    EventRecord RecordAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    RecordSnapshot m_rows;
};
