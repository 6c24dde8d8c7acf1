#include "graph/graph_export.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>

#include "common/file_dialog_folder.h"
#include "common/message_box.h"
#include "records/record_store.h"

namespace {

const QString kPrintErrorText = QStringLiteral("打印出错！");

bool RunPrintDialog(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace

QString ChooseExportFile(QWidget* parent, const QString& title, const QString& filter,
                         const QString& suffix, const QString& name) {
    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    common::UseRememberedFolder(dialog, QStringLiteral("graph-export"));
    if (!name.isEmpty()) {
        dialog.selectFile(name + QLatin1Char('.') + suffix);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    QString path = dialog.selectedFiles().front();
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QLatin1Char('.') + suffix;
    }
    return path;
}

bool SaveGraphPdf(const GraphPicture& picture, const QString& path) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    return PrintGraph(picture, printer);
}

GraphExporter::GraphExporter(QWidget* parent, std::function<GraphPicture()> picture,
                             std::function<QString()> suggestedName)
    : m_parent(parent),
      m_picture(std::move(picture)),
      m_suggestedName(std::move(suggestedName)),
      m_choose(ChooseExportFile),
      m_printSetup(RunPrintDialog) {}

void GraphExporter::Export(const QString& title, const QString& filter, const QString& suffix,
                           const std::function<bool(const GraphPicture&, const QString&)>& save) {
    const QString name = m_suggestedName ? m_suggestedName() : QString();
    const QString path = m_choose ? m_choose(m_parent, title, filter, suffix, name) : QString();
    if (path.isEmpty()) {
        return;
    }
    if (!save(m_picture(), path)) {
        ShowMessageBox(m_parent, records::kSaveFileErrorText);
    }
}

void GraphExporter::ExportPng() {
    Export(QStringLiteral("导出PNG图片"), QStringLiteral("PNG 图片(*.png)"), QStringLiteral("png"),
           SaveGraphPng);
}

void GraphExporter::ExportSvg() {
    Export(QStringLiteral("导出SVG图片"), QStringLiteral("SVG 图片(*.svg)"), QStringLiteral("svg"),
           SaveGraphSvg);
}

void GraphExporter::ExportPdf() {
    Export(QStringLiteral("导出PDF文件"), QStringLiteral("PDF 文件(*.pdf)"), QStringLiteral("pdf"),
           SaveGraphPdf);
}

void GraphExporter::Print() {
    QPrinter printer(QPrinter::HighResolution);
    if (!m_printSetup || !m_printSetup(printer, m_parent)) {
        return;
    }
    if (!PrintGraph(m_picture(), printer)) {
        ShowMessageBox(m_parent, kPrintErrorText);
    }
}
