#include "app/archive_records_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "archive/device_events.h"
#include "common/message_box.h"
#include "common/remembered_folder.h"

namespace {

const QString kFolderPurpose = QStringLiteral("fleetArchive");

QString ChooseArchiveFile(QWidget* parent) {
    const QString path = QFileDialog::getOpenFileName(
        parent, QStringLiteral("打开归档库"), RememberedFolder(kFolderPurpose),
        QStringLiteral("归档库 (*.db *.sqlite);;所有文件 (*)"));
    if (!path.isEmpty()) {
        RememberFolder(kFolderPurpose, path);
    }
    return path;
}

}  // namespace

CArchiveRecordsDlg::CArchiveRecordsDlg(int variant, QWidget* parent)
    : QDialog(parent), m_variant(variant), m_chooseFile(ChooseArchiveFile) {
    setObjectName(QStringLiteral("archiveRecordsDlg"));
    setWindowTitle(QStringLiteral("从归档库读取记录"));

    m_location = new QLineEdit(this);
    m_location->setObjectName(QStringLiteral("archiveLocation"));
    m_location->setPlaceholderText(QStringLiteral("归档库文件，或 postgresql://用户@主机/数据库"));
    m_location->setMinimumWidth(360);
    m_browse = new QPushButton(QStringLiteral("浏览..."), this);
    m_browse->setObjectName(QStringLiteral("archiveBrowse"));
    m_open = new QPushButton(QStringLiteral("打开"), this);
    m_open->setObjectName(QStringLiteral("archiveOpen"));
    auto* where = new QHBoxLayout;
    where->addWidget(m_location, 1);
    where->addWidget(m_browse);
    where->addWidget(m_open);

    m_device = new QComboBox(this);
    m_device->setObjectName(QStringLiteral("archiveDevice"));
    m_allDays = new QCheckBox(QStringLiteral("全部日期"), this);
    m_allDays->setObjectName(QStringLiteral("archiveAllDays"));
    m_allDays->setChecked(true);
    m_from = new QDateEdit(QDate::currentDate().addMonths(-1), this);
    m_from->setObjectName(QStringLiteral("archiveFrom"));
    m_to = new QDateEdit(QDate::currentDate(), this);
    m_to->setObjectName(QStringLiteral("archiveTo"));
    for (QDateEdit* edit : {m_from, m_to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    auto* days = new QHBoxLayout;
    days->addWidget(m_allDays);
    days->addWidget(m_from);
    days->addWidget(new QLabel(QStringLiteral("至"), this));
    days->addWidget(m_to);
    days->addStretch();

    auto* buttons = new QDialogButtonBox(this);
    m_load = buttons->addButton(QStringLiteral("读入记录列表"), QDialogButtonBox::AcceptRole);
    m_load->setObjectName(QStringLiteral("archiveLoad"));
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("归档库:"), where);
    form->addRow(QStringLiteral("装置:"), m_device);
    form->addRow(QStringLiteral("日期:"), days);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("archiveStatus"));
    form->addRow(m_status);
    form->addRow(buttons);

    connect(&m_reader, &archive::BackgroundReader::Opened, this, &CArchiveRecordsDlg::OnOpened);
    connect(&m_reader, &archive::BackgroundReader::RecordsRead, this,
            &CArchiveRecordsDlg::OnRecordsRead);
    connect(m_browse, &QPushButton::clicked, this, &CArchiveRecordsDlg::Browse);
    connect(m_open, &QPushButton::clicked, this, &CArchiveRecordsDlg::OpenArchive);
    connect(m_allDays, &QCheckBox::toggled, this, &CArchiveRecordsDlg::UpdateEnabled);
    connect(buttons, &QDialogButtonBox::accepted, this, &CArchiveRecordsDlg::Load);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    UpdateEnabled();
}

CArchiveRecordsDlg::~CArchiveRecordsDlg() = default;

void CArchiveRecordsDlg::UpdateEnabled() {
    const bool listed = m_device->count() > 0 && !m_busy;
    m_location->setEnabled(!m_busy);
    m_browse->setEnabled(!m_busy);
    m_open->setEnabled(!m_busy);
    m_device->setEnabled(listed);
    m_allDays->setEnabled(listed);
    m_from->setEnabled(listed && !m_allDays->isChecked());
    m_to->setEnabled(listed && !m_allDays->isChecked());
    m_load->setEnabled(listed);
    // Enter opens the archive typed, then loads the device chosen; while the archive is read it
    // does nothing (a disabled default button takes it), and never cancels.
    m_open->setAutoDefault(false);
    m_browse->setAutoDefault(false);
    m_load->setDefault(m_device->count() > 0);
    m_open->setDefault(m_device->count() == 0);
}

void CArchiveRecordsDlg::SetBusy(const QString& text) {
    m_busy = !text.isEmpty();
    m_status->setText(text);
    UpdateEnabled();
}

void CArchiveRecordsDlg::Browse() {
    const QString path = m_chooseFile(this);
    if (!path.isEmpty()) {
        m_location->setText(path);
        OpenArchive();
    }
}

void CArchiveRecordsDlg::OpenArchive() {
    if (m_busy) {
        return;
    }
    m_device->clear();
    SetBusy(QStringLiteral("正在打开归档库..."));
    m_reader.Open(m_location->text().trimmed());
}

void CArchiveRecordsDlg::OnOpened(const QString& error,
                                  const std::vector<archive::DeviceRow>& devices) {
    SetBusy({});
    if (!error.isEmpty()) {
        ShowMessageBox(this, QStringLiteral("归档库打开失败：") + error);
        emit ArchiveOpened(false);
        return;
    }
    // The record list and its graph speak the variant in use; a device of unknown variant
    // (never identified) may be either.
    for (const archive::DeviceRow& d : devices) {
        if (d.variant == m_variant || d.variant < 0) {
            const QString text =
                d.station.isEmpty() ? d.name : QStringLiteral("%1 (%2)").arg(d.name, d.station);
            m_device->addItem(QStringLiteral("%1，%2条记录").arg(text).arg(d.records), d.name);
        }
    }
    UpdateEnabled();
    if (m_device->count() == 0) {
        ShowMessageBox(
            this, QStringLiteral("归档库中没有%1的装置。")
                      .arg(m_variant == 0 ? QStringLiteral("KPA-650") : QStringLiteral("KPB-650")));
        emit ArchiveOpened(false);
        return;
    }
    emit ArchiveOpened(true);
}

void CArchiveRecordsDlg::Load() {
    if (m_device->count() == 0 || m_busy) {
        return;
    }
    archive::DeviceEventsQuery query;
    query.device = m_device->currentData().toString();
    if (!m_allDays->isChecked()) {
        query.from = m_from->date();
        query.to = m_to->date();
    }
    SetBusy(QStringLiteral("正在读取记录..."));
    m_reader.ReadRecords(query);
}

void CArchiveRecordsDlg::OnRecordsRead(const QString& error,
                                       const std::vector<EventRecord>& records) {
    SetBusy({});
    if (!error.isEmpty()) {
        ShowMessageBox(this, QStringLiteral("归档库读取失败：") + error);
        emit LoadFailed();
        return;
    }
    if (records.empty()) {
        ShowMessageBox(this, QStringLiteral("所选日期内没有该装置的记录。"));
        emit LoadFailed();
        return;
    }
    m_records = records;
    accept();
}
