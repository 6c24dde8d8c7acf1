#pragma once

#include <QAbstractTableModel>

#include <array>
#include <vector>

#include "records/event_record.h"

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
// Rows are replaced in one step (one model reset), so a long table lists at once; cells are
// produced on demand.
class RecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetRecords(std::vector<EventRecord> records);
    void Clear();
    // The record shown in a row (0-based); an empty record outside the rows.
    EventRecord RecordAt(int row) const;
    const std::vector<EventRecord>& Records() const { return m_records; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<EventRecord> m_records;
};
