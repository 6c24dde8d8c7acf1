#pragma once

#include <QString>

#include <functional>

#include "graph/graph_picture.h"

class QPrinter;
class QWidget;

// The exports every graph offers: PNG, SVG and PDF files and the printer, of the picture its
// owner draws. File and print dialogs are seams that tests replace.
class GraphExporter {
public:
    // The save-file dialog: title, name filter, suffix and the suggested name (without the
    // suffix); returns the chosen path, empty when cancelled.
    using FileChooser = std::function<QString(QWidget*, const QString& title, const QString& filter,
                                              const QString& suffix, const QString& name)>;
    // The print dialog; false when cancelled.
    using PrintSetup = std::function<bool(QPrinter& printer, QWidget* parent)>;

    GraphExporter(QWidget* parent, std::function<GraphPicture()> picture,
                  std::function<QString()> suggestedName);

    void SetFileChooser(FileChooser chooser) { m_choose = std::move(chooser); }
    void SetPrintSetup(PrintSetup setup) { m_printSetup = std::move(setup); }

    void ExportPng();
    void ExportSvg();
    void ExportPdf();
    void Print();

private:
    void Export(const QString& title, const QString& filter, const QString& suffix,
                const std::function<bool(const GraphPicture&, const QString&)>& save);

    QWidget* m_parent;
    std::function<GraphPicture()> m_picture;
    std::function<QString()> m_suggestedName;
    FileChooser m_choose;
    PrintSetup m_printSetup;
};

// The save-file dialog the exports use: opens in the folder last exported to, with the suggested
// name, and adds the suffix to a name typed without one.
QString ChooseExportFile(QWidget* parent, const QString& title, const QString& filter,
                         const QString& suffix, const QString& name);

// A PDF of the picture on one landscape A4 page.
bool SaveGraphPdf(const GraphPicture& picture, const QString& path);
