#pragma once

#include <QDialog>
#include <QFont>
#include <QPointer>

// A modal dialog whose set-up runs at every showing and whose tear-down runs when the showing
// ends, however it ends (button, Escape, window close). Long-lived dialogs owned by the main
// frame rely on this to open their port on each showing and release it afterwards.
class CDialogBase : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;
    ~CDialogBase() override;

    void done(int result) override;
    // Between the set-up of a showing and its end.
    bool Showing() const { return m_showing; }

protected:
    // Runs before the dialog is first painted in each showing.
    virtual void OnInitDialog() {}
    // Runs once when the showing ends.
    virtual void OnEndDialog() {}

    // A control the dialog uses but does not own (the serial control of a line the main window
    // hands to each dialog): a child of the dialog while a showing lasts, as a control of its own
    // would be, and back with its owner afterwards.
    void HoldWhileShowing(QObject* control) { m_held = control; }

    void showEvent(QShowEvent* event) override;

private:
    void TakeHeld();
    void ReturnHeld();

    bool m_showing = false;
    QPointer<QObject> m_held;
    QPointer<QObject> m_heldOwner;  // set while the control is the dialog's child
};

// The dialogs' font: "宋体" 9 where it exists, else a Song face of the same metrics, 12 pixels
// high so the dialog-unit geometry (6 by 12 pixels per character) fits the text.
QFont DialogFont();
