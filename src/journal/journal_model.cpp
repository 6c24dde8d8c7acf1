#include "journal/journal_model.h"

#include "journal/journal_report.h"

void JournalModel::SetEntries(std::vector<journal::Entry> entries) {
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

int JournalModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int JournalModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant JournalModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const journal::Entry& e = m_entries[static_cast<std::size_t>(index.row())];
    if (role == Qt::ToolTipRole) {
        // What a row has no room for: the identification, the detail, the archive file.
        QStringList tip{e.write.device};
        for (const QString& part : {e.write.identification, e.detail, e.write.archiveFile}) {
            if (!part.isEmpty()) {
                tip << part;
            }
        }
        return tip.join(QLatin1Char('\n'));
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
        case kTime:
            // The writing computer's local time as it was, seconds are enough for a person.
            return e.local.left(19).replace(QLatin1Char('T'), QLatin1Char(' '));
        case kDevice:
            return e.write.device;
        case kKind:
            return journal::KindCaption(e.write.kind);
        case kOutcome:
            return journal::OutcomeCaption(e.outcome);
        case kChanges:
            return journal::DifferenceLines(e).join(QLatin1Char('\n'));
        case kWho:
            return e.origin.user + QLatin1Char('@') + e.origin.host;
        case kProgram:
            return e.origin.program;
        case kSent:
            return e.write.sentBytes;
        default:
            return {};
    }
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const kHeaders[kColumns] = {"时间", "装置",   "操作", "结果",
                                                   "变化", "操作员", "程序", "发送字节"};
    return section >= 0 && section < kColumns ? QString::fromUtf8(kHeaders[section]) : QVariant();
}
