#include "records/record_list_model.h"

void RecordListModel::SetRows(RecordSnapshot rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void RecordListModel::Clear() {
    SetRows(RecordSnapshot());
}

EventRecord RecordListModel::RecordAt(int row) const {
    return m_rows.At(row);
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows.Count();
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
    return m_rows.At(index.row()).Field(index.column() - 1);
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
