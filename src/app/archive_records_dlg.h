#pragma once

#include <QDialog>

#include <functional>
#include <vector>

#include "archive/archive.h"
#include "records/event_record.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;

// Chooses one device's events out of the fleet archive for the record list: the archive (an
// SQLite file or a postgresql:// address), opened read-only, one device of the variant in use,
// and a range of days. The archive is never written from here.
class CArchiveRecordsDlg : public QDialog {
    Q_OBJECT
public:
    CArchiveRecordsDlg(int variant, QWidget* parent = nullptr);
    ~CArchiveRecordsDlg() override;

    // Replaces the file dialog of the browse button (tests); empty result: nothing chosen.
    void SetFileChooser(std::function<QString(QWidget*)> chooser) {
        m_chooseFile = std::move(chooser);
    }

    // Opens the archive the location names and lists its devices of the variant; false after
    // the reason was shown.
    bool OpenArchive();
    // Reads the chosen device's events in the chosen days and ends the dialog with them; stays
    // open (with a message) when there are none or the archive cannot be read.
    void Load();
    // The records Load read, in log order.
    std::vector<EventRecord> TakeRecords() { return std::move(m_records); }

private:
    void Browse();
    void UpdateEnabled();

    int m_variant;
    archive::Archive m_archive;
    std::vector<EventRecord> m_records;
    QLineEdit* m_location = nullptr;
    QComboBox* m_device = nullptr;
    QCheckBox* m_allDays = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QPushButton* m_load = nullptr;
    std::function<QString(QWidget*)> m_chooseFile;
};
