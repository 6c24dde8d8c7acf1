#include "records/record_list_model.h"

void RecordListModel::SetRecords(std::vector<EventRecord> records) {
    beginResetModel();
    m_records = std::move(records);
    endResetModel();
}

void RecordListModel::Clear() {
    SetRecords({});
}

EventRecord RecordListModel::RecordAt(int row) const {
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    return m_records[static_cast<std::size_t>(row)];
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_records.size());
}

int RecordListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : records::kRecordListColumnCount;
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() ||
        index.column() >= records::kRecordListColumnCount) {
        return QVariant();
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    if (role != Qt::DisplayRole) {
        return QVariant();
    }
    if (index.column() == 0) {
        return QString::number(index.row() + 1);
    }
    return m_records[static_cast<std::size_t>(index.row())].Field(index.column() - 1);
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 ||
        section >= records::kRecordListColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return QString::fromUtf8(
            records::kRecordListColumns[static_cast<std::size_t>(section)].heading);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return QVariant();
}
