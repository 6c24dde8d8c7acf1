#pragma once

#include <QDialog>

#include <functional>
#include <vector>

#include "archive/background_reader.h"
#include "records/event_record.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

// Chooses one device's events out of the fleet archive for the record list: the archive (an
// SQLite file or a postgresql:// address), opened read-only, one device of the variant in use,
// and a range of days. The archive is never written from here, and read on a thread of its own:
// the window answers while a database server is slow or does not answer.
class CArchiveRecordsDlg : public QDialog {
    Q_OBJECT
public:
    CArchiveRecordsDlg(int variant, QWidget* parent = nullptr);
    ~CArchiveRecordsDlg() override;

    // Replaces the file dialog of the browse button (tests); empty result: nothing chosen.
    void SetFileChooser(std::function<QString(QWidget*)> chooser) {
        m_chooseFile = std::move(chooser);
    }

    // Opens the archive the location names and lists its devices of the variant; ArchiveOpened
    // follows (false after the reason was shown).
    void OpenArchive();
    // Reads the chosen device's events in the chosen days and ends the dialog with them; stays
    // open (with a message, then LoadFailed) when there are none or the archive cannot be read.
    void Load();
    // The records Load read, in log order.
    std::vector<EventRecord> TakeRecords() { return std::move(m_records); }

Q_SIGNALS:
    void ArchiveOpened(bool ok);
    void LoadFailed();

private:
    void Browse();
    void UpdateEnabled();
    void SetBusy(const QString& text);
    void OnOpened(const QString& error, const std::vector<archive::DeviceRow>& devices);
    void OnRecordsRead(const QString& error, const std::vector<EventRecord>& records);

    int m_variant;
    archive::BackgroundReader m_reader;
    bool m_busy = false;
    QLabel* m_status = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_browse = nullptr;
    std::vector<EventRecord> m_records;
    QLineEdit* m_location = nullptr;
    QComboBox* m_device = nullptr;
    QCheckBox* m_allDays = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QPushButton* m_load = nullptr;
    std::function<QString(QWidget*)> m_chooseFile;
};
