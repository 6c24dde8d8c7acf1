// The parameter dialogs' parameter files and comparisons with the device, kept apart from the
// exchange code in parameter_dlg.cpp: they reach the device only through the compare
// conversation.

#include "settings/parameter_dlg.h"

#include <QComboBox>
#include <QDate>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <vector>

#include "common/dialog_units.h"
#include "common/message_box.h"
#include "common/program_version.h"
#include "common/remembered_folder.h"
#include "settings/parameter_compare_dlg.h"

namespace {

// The row sits below the dialog's own controls, as high as their buttons; the side margin is
// their group boxes', the gap above it is the one between the last group and the buttons, the
// margin below it the one below the buttons.
constexpr int kRowHeight = 14;
constexpr int kRowMargin = 7;
constexpr int kRowGap = 4;

struct FileButton {
    const char* objectName;
    const char* text;
    const char* toolTip;
    void (CParameterDlg::*handler)();
};

const FileButton kFileButtons[] = {
    {"buttonSaveParameters", "保存参数...", "把对话框所示的参数保存到参数文件",
     &CParameterDlg::OnSaveFile},
    {"buttonLoadParameters", "载入参数...", "从参数文件载入参数到对话框；按“写入”之前不发送给装置",
     &CParameterDlg::OnLoadFile},
    {"buttonCompareShown", "与装置比较",
     "读出装置参数，列出与对话框所示不同的项；不改变对话框，不写入装置",
     &CParameterDlg::OnCompareShown},
    {"buttonCompareFile", "与文件比较...",
     "选择参数文件，读出装置参数，列出与文件不同的项；不改变对话框，不写入装置",
     &CParameterDlg::OnCompareFile},
};

QString FileName(const QString& path) {
    return QFileInfo(path).fileName();
}

}  // namespace

QString RunParameterFileDialog(QWidget* parent, bool save, const QString& start) {
    QFileDialog dialog(parent,
                       save ? QStringLiteral("保存参数文件") : QStringLiteral("选择参数文件"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("参数文件 (*.%1)").arg(settings::kParameterFileSuffix),
                           QStringLiteral("所有文件 (*)")});
    dialog.setDefaultSuffix(settings::kParameterFileSuffix);
    if (save) {
        dialog.setDirectory(QFileInfo(start).absolutePath());
        dialog.selectFile(QFileInfo(start).fileName());
    } else {
        dialog.setDirectory(start);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return QString();
    }
    return dialog.selectedFiles().value(0);
}

void CParameterDlg::BuildFileControls(const ParameterDlgTemplate& layout) {
    constexpr DialogUnits du = common::kSongTi9Units;
    // The dialog grows by one row; everything the template places keeps its position.
    int groupsBottom = 0;
    int buttonsTop = layout.size.height();
    int buttonsBottom = 0;
    for (const ParameterDlgTemplate::Item& item : layout.items) {
        if (item.kind == ParameterDlgTemplate::kGroup) {
            groupsBottom = std::max(groupsBottom, item.rect.bottom() + 1);
        } else if (item.kind == ParameterDlgTemplate::kButton) {
            buttonsTop = std::min(buttonsTop, item.rect.top());
            buttonsBottom = std::max(buttonsBottom, item.rect.bottom() + 1);
        }
    }
    const int top = buttonsBottom + std::max(0, buttonsTop - groupsBottom);
    const int below = std::max(0, layout.size.height() - buttonsBottom);
    setFixedSize(du.size(layout.size.width(), top + kRowHeight + below));

    // Each button as wide as its text needs, and what is left shared out, so that no text
    // touches its border; equal widths only when the texts do not fit at all.
    const QRect row = du.rect(kRowMargin, top, layout.size.width() - 2 * kRowMargin, kRowHeight);
    const int gap = du.size(kRowGap, 0).width();
    std::vector<QPushButton*> buttons;
    int needed = 0;
    for (const FileButton& spec : kFileButtons) {
        auto* button = new QPushButton(QString::fromUtf8(spec.text), this);
        button->setObjectName(QString::fromUtf8(spec.objectName));
        button->setToolTip(QString::fromUtf8(spec.toolTip));
        connect(button, &QPushButton::clicked, this, spec.handler);
        needed += button->sizeHint().width();
        buttons.push_back(button);
    }
    const int count = static_cast<int>(buttons.size());
    const int spare = row.width() - needed - (count - 1) * gap;
    int left = row.left();
    for (int i = 0; i < count; ++i) {
        const int width = spare >= 0 ? buttons[std::size_t(i)]->sizeHint().width() + spare / count
                                     : (row.width() - (count - 1) * gap) / count;
        buttons[std::size_t(i)]->setGeometry(left, row.top(), width, row.height());
        left += width + gap;
    }

    // A comparison that got no reply ends with the showing.
    connect(this, &QDialog::finished, this, [this] { m_comparison.reset(); });
}

ParameterSetResult CParameterDlg::ShownSet() const {
    return ParameterSetFromValues(VariantOfCodec(m_codec), m_frequency->text(), Selections());
}

void CParameterDlg::OnSaveFile() {
    const ParameterSetResult shown = ShownSet();
    if (!shown.Ok()) {
        ShowMessageBox(this, shown.error);
        return;
    }
    ParameterSet set = shown.set;
    set.provenance.program = QStringLiteral("kp650 ") + ProgramVersion();
    if (m_lastRead.provenance.readAt.isValid() && m_lastRead.frame == set.frame) {
        set.provenance.readAt = m_lastRead.provenance.readAt;  // what the device held then
    }
    const int variant = VariantOfCodec(m_codec);
    const QString proposed =
        RememberedFolder(settings::kParameterFolderPurpose) + QLatin1Char('/') +
        QStringLiteral("%1参数-%2.%3")
            .arg(DeviceModelName(variant), QDate::currentDate().toString(Qt::ISODate),
                 settings::kParameterFileSuffix);
    const QString path = m_chooseFile(this, true, proposed);
    if (path.isEmpty()) {
        return;
    }
    RememberFolder(settings::kParameterFolderPurpose, path);
    const QString error = WriteParameterSetFile(path, set);
    if (!error.isEmpty()) {
        ShowMessageBox(this,
                       QStringLiteral("参数文件 %1 未能保存：\n%2").arg(FileName(path), error));
    }
}

std::optional<ParameterSet> CParameterDlg::ChooseAndLoadFile(QString* path) {
    *path = m_chooseFile(this, false, RememberedFolder(settings::kParameterFolderPurpose));
    if (path->isEmpty()) {
        return std::nullopt;
    }
    RememberFolder(settings::kParameterFolderPurpose, *path);
    const ParameterSetResult loaded = ReadParameterSetFile(*path, VariantOfCodec(m_codec));
    if (!loaded.Ok()) {
        ShowMessageBox(
            this, QStringLiteral("参数文件 %1 未能载入：\n%2").arg(FileName(*path), loaded.error));
        return std::nullopt;
    }
    return loaded.set;
}

void CParameterDlg::OnLoadFile() {
    QString path;
    const std::optional<ParameterSet> loaded = ChooseAndLoadFile(&path);
    if (!loaded) {
        return;
    }
    m_frequency->setText(loaded->frequencyText);
    const std::vector<int> selections = ParameterSelections(*loaded);
    for (std::size_t i = 0; i < m_lists.size() && i < selections.size(); ++i) {
        m_lists[i]->setCurrentIndex(selections[i]);
    }
}

void CParameterDlg::OnCompareShown() {
    const ParameterSetResult shown = ShownSet();
    if (!shown.Ok()) {
        ShowMessageBox(this, shown.error);
        return;
    }
    CompareWithDevice(shown.set,
                      {QStringLiteral("装置参数与对话框所示一致!"),
                       QStringLiteral("装置参数与对话框所示不同的项："), QStringLiteral("对话框")});
}

void CParameterDlg::OnCompareFile() {
    QString path;
    const std::optional<ParameterSet> loaded = ChooseAndLoadFile(&path);
    if (!loaded) {
        return;
    }
    const QString name = FileName(path);
    CompareWithDevice(*loaded, {QStringLiteral("装置参数与文件 %1 一致!").arg(name),
                                QStringLiteral("装置参数与文件 %1 不同的项：").arg(name),
                                QStringLiteral("文件")});
}

void CParameterDlg::CompareWithDevice(const ParameterSet& other, const ComparisonTexts& texts) {
    if (Busy()) {
        return;  // one request at a time
    }
    m_comparison = texts;
    m_state.pending = m_codec.readCommand;
    m_compare->Start(other);
}

void CParameterDlg::TakeReading(const ParameterReadResult& result) {
    m_lastRead = result.read.set;
    m_heldThisShowing = result.read.set;
}

void CParameterDlg::OnCompared(const ParameterCompareResult& result) {
    const ParameterReadResult& device = result.device;
    if (!device.Ok()) {
        m_comparison.reset();  // a comparison that got no reading ends with the request
        if (Received(device.exchange)) {
            ShowMessageBox(this, device.read.error);  // a frame of the wrong length
        }
        return;
    }
    Received(device.exchange);
    TakeReading(device);
    // Armed while its result shows.
    const ComparisonTexts texts = m_comparison.value_or(ComparisonTexts{});
    if (result.differences.empty()) {
        ShowMessageBox(this, texts.same);
    } else {
        CParameterCompareDlg list(texts.heading, texts.otherTitle, result.differences, this);
        list.exec();
    }
    m_comparison.reset();
}

void CParameterDlg::OnReadFinished(const ParameterReadResult& result) {
    if (!Received(result.exchange)) {
        return;
    }
    if (!result.read.Ok()) {
        ShowMessageBox(this, result.read.error);  // a frame of the wrong length: nothing to take
        return;
    }
    TakeReading(result);
    // A plain read: the dialog takes what the device holds, from the set decoded once.
    const ParameterSet& device = result.read.set;
    m_frequencyText = device.frequencyText;
    for (std::size_t i = 0; i < m_lists.size() && i < device.listValues.size(); ++i) {
        m_lists[i]->setCurrentIndex(SelectionFromByte(device.listValues[i], m_codec.lists[i]));
    }
    m_frequency->setText(m_frequencyText);
    ShowMessageBox(this, settings::kReadDoneText);
}
