#pragma once

#include <QDialog>
#include <QFont>

// A modal dialog whose set-up runs at every showing and whose tear-down runs when the showing
// ends, however it ends (button, Escape, window close). Long-lived dialogs owned by the main
// frame rely on this to open their port on each showing and release it afterwards.
class CDialogBase : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

    void done(int result) override;
    // Between the set-up of a showing and its end.
    bool Showing() const { return m_showing; }

protected:
    // Runs before the dialog is first painted in each showing.
    virtual void OnInitDialog() {}
    // Runs once when the showing ends.
    virtual void OnEndDialog() {}

    void showEvent(QShowEvent* event) override;

private:
    bool m_showing = false;
};

// The dialogs' font: "宋体" 9 where it exists, else a Song face of the same metrics, 12 pixels
// high so the dialog-unit geometry (6 by 12 pixels per character) fits the text.
QFont DialogFont();
