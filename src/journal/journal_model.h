#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "journal/journal.h"

// The journal's entries as the journal dialog lists them, newest first: time, device, kind,
// outcome, changes ("field: before -> after", one per line), who, program, bytes sent.
class JournalModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kTime, kDevice, kKind, kOutcome, kChanges, kWho, kProgram, kSent, kColumns };

    using QAbstractTableModel::QAbstractTableModel;

    void SetEntries(std::vector<journal::Entry> entries);
    const std::vector<journal::Entry>& Entries() const { return m_entries; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<journal::Entry> m_entries;
};
