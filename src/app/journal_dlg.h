#pragma once

#include <QDialog>

#include "journal/journal.h"

class JournalModel;
class QComboBox;
class QDateEdit;
class QTableView;

// The journal of writes: every parameter write, clock set and log clear made from this computer,
// newest first, filtered by device and by dates (local days, both included), with each write's
// changes; the rows shown can be exported as CSV. Made for one showing; reads the journal file
// as it opens and at each change of the filter.
class CJournalDlg : public QDialog {
    Q_OBJECT
public:
    // `path`: the journal file (journal::DefaultJournalPath() in the program).
    explicit CJournalDlg(const QString& path, QWidget* parent = nullptr);

    // The device (empty: all) and the first and last day shown.
    void SetFilter(const QString& device, QDate from, QDate to);
    const JournalModel& Model() const { return *m_model; }
    // Writes the rows shown to `path`; empty on success, else why not.
    QString ExportCsv(const QString& path) const;

private:
    void Reload();
    void OnExport();

    journal::Journal m_journal;
    JournalModel* m_model = nullptr;
    QComboBox* m_device = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QTableView* m_view = nullptr;
};
