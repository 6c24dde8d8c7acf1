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
    auto* browse = new QPushButton(QStringLiteral("浏览..."), this);
    browse->setObjectName(QStringLiteral("archiveBrowse"));
    auto* open = new QPushButton(QStringLiteral("打开"), this);
    open->setObjectName(QStringLiteral("archiveOpen"));
    auto* where = new QHBoxLayout;
    where->addWidget(m_location, 1);
    where->addWidget(browse);
    where->addWidget(open);

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
    form->addRow(buttons);

    connect(browse, &QPushButton::clicked, this, &CArchiveRecordsDlg::Browse);
    connect(open, &QPushButton::clicked, this, &CArchiveRecordsDlg::OpenArchive);
    connect(m_location, &QLineEdit::returnPressed, this, &CArchiveRecordsDlg::OpenArchive);
    connect(m_allDays, &QCheckBox::toggled, this, &CArchiveRecordsDlg::UpdateEnabled);
    connect(buttons, &QDialogButtonBox::accepted, this, &CArchiveRecordsDlg::Load);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    UpdateEnabled();
}

CArchiveRecordsDlg::~CArchiveRecordsDlg() = default;

void CArchiveRecordsDlg::UpdateEnabled() {
    const bool listed = m_device->count() > 0;
    m_device->setEnabled(listed);
    m_allDays->setEnabled(listed);
    m_from->setEnabled(listed && !m_allDays->isChecked());
    m_to->setEnabled(listed && !m_allDays->isChecked());
    m_load->setEnabled(listed);
}

void CArchiveRecordsDlg::Browse() {
    const QString path = m_chooseFile(this);
    if (!path.isEmpty()) {
        m_location->setText(path);
        OpenArchive();
    }
}

bool CArchiveRecordsDlg::OpenArchive() {
    m_device->clear();
    UpdateEnabled();
    const QString location = m_location->text().trimmed();
    QString error = m_archive.OpenReadOnly(location);
    std::vector<archive::DeviceRow> devices;
    if (error.isEmpty()) {
        devices = m_archive.Devices(&error);
    }
    if (!error.isEmpty()) {
        m_archive.Close();
        ShowMessageBox(this, QStringLiteral("归档库打开失败：") + error);
        return false;
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
        return false;
    }
    return true;
}

void CArchiveRecordsDlg::Load() {
    if (m_device->count() == 0) {
        return;
    }
    archive::DeviceEventsQuery query;
    query.device = m_device->currentData().toString();
    if (!m_allDays->isChecked()) {
        query.from = m_from->date();
        query.to = m_to->date();
    }
    QString error;
    m_records = archive::DeviceRecords(m_archive, query, &error);
    if (!error.isEmpty()) {
        m_records.clear();
        ShowMessageBox(this, QStringLiteral("归档库读取失败：") + error);
        return;
    }
    if (m_records.empty()) {
        ShowMessageBox(this, QStringLiteral("所选日期内没有该装置的记录。"));
        return;
    }
    accept();
}
