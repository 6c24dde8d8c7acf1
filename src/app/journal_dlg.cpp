#include "app/journal_dlg.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QVBoxLayout>

#include "common/message_box.h"
#include "common/program_directory.h"
#include "journal/journal_model.h"
#include "journal/journal_report.h"

namespace {

// Days a fresh showing reaches back.
constexpr int kDaysShown = 90;

}  // namespace

CJournalDlg::CJournalDlg(const QString& path, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgJournal"));
    setWindowTitle(QStringLiteral("写入日志"));
    resize(900, 480);

    m_device = new QComboBox(this);
    m_device->setObjectName(QStringLiteral("journalDevice"));
    m_device->addItem(QStringLiteral("全部装置"), QString());
    m_from = new QDateEdit(QDate::currentDate().addDays(-kDaysShown), this);
    m_from->setObjectName(QStringLiteral("journalFrom"));
    m_to = new QDateEdit(QDate::currentDate(), this);
    m_to->setObjectName(QStringLiteral("journalTo"));
    for (QDateEdit* edit : {m_from, m_to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    auto* exportButton = new QPushButton(QStringLiteral("导出CSV文件..."), this);
    exportButton->setObjectName(QStringLiteral("journalExport"));
    auto* close = new QPushButton(QStringLiteral("关闭"), this);

    m_model = new JournalModel(this);
    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("journalList"));
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_view->horizontalHeader()->setStretchLastSection(true);

    auto* filter = new QHBoxLayout;
    filter->addWidget(new QLabel(QStringLiteral("装置："), this));
    filter->addWidget(m_device, 1);
    filter->addWidget(new QLabel(QStringLiteral("从："), this));
    filter->addWidget(m_from);
    filter->addWidget(new QLabel(QStringLiteral("到："), this));
    filter->addWidget(m_to);
    filter->addStretch();
    filter->addWidget(exportButton);
    filter->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filter);
    layout->addWidget(m_view);

    // A journal that cannot be read says so where the entries would be.
    const QString openError = QFileInfo::exists(path) ? m_journal.Open(path, false) : QString();
    if (!openError.isEmpty()) {
        auto* problem = new QLabel(path + QStringLiteral(": ") + openError, this);
        problem->setObjectName(QStringLiteral("journalProblem"));
        layout->addWidget(problem);
    }
    for (const QString& device : m_journal.Devices()) {
        m_device->addItem(device, device);
    }
    connect(m_device, &QComboBox::currentIndexChanged, this, &CJournalDlg::Reload);
    connect(m_from, &QDateEdit::dateChanged, this, &CJournalDlg::Reload);
    connect(m_to, &QDateEdit::dateChanged, this, &CJournalDlg::Reload);
    connect(exportButton, &QPushButton::clicked, this, &CJournalDlg::OnExport);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    Reload();
}

void CJournalDlg::SetFilter(const QString& device, QDate from, QDate to) {
    const QSignalBlocker blockDevice(m_device);
    const QSignalBlocker blockFrom(m_from);
    const QSignalBlocker blockTo(m_to);
    m_device->setCurrentIndex(std::max(0, m_device->findData(device)));
    m_from->setDate(from);
    m_to->setDate(to);
    Reload();
}

void CJournalDlg::Reload() {
    journal::Filter filter;
    filter.device = m_device->currentData().toString();
    filter.since = m_from->date().startOfDay();
    filter.before = m_to->date().addDays(1).startOfDay();
    std::vector<journal::Entry> entries = m_journal.Entries(filter);
    // A part of a key could name others too ("@ /dev/ttyS1" in "@ /dev/ttyS10"): the chosen one
    // only.
    if (!filter.device.isEmpty()) {
        entries.erase(std::remove_if(
                          entries.begin(), entries.end(),
                          [&](const journal::Entry& e) { return e.write.device != filter.device; }),
                      entries.end());
    }
    m_model->SetEntries(std::move(entries));
    m_view->resizeColumnsToContents();
}

QString CJournalDlg::ExportCsv(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    file.write(journal::EntriesToCsv(m_model->Entries()));
    return file.commit() ? QString() : file.errorString();
}

void CJournalDlg::OnExport() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("导出CSV文件"),
                                                      ProgramFile(QStringLiteral("journal.csv")),
                                                      QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    const QString error = ExportCsv(path);
    if (!error.isEmpty()) {
        ShowMessageBox(this, path + QStringLiteral(": ") + error);
    }
}
