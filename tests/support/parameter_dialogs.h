#pragma once

#include <QLineEdit>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <vector>

class CParameterDlg;
class QDialog;

// Tests of the parameter dialogs: variant 0 is the transmitter's (dlg134), 1 the receiver's
// (dlg142).
std::unique_ptr<CParameterDlg> MakeParameterDialog(int variant);
// The list controls' ids in the order their indexes travel in the frame.
const std::vector<int>& ParameterListIds(int variant);
QLineEdit* FrequencyBox(QDialog& dlg);
std::vector<int> ShownLists(QDialog& dlg, int variant);
void SetLists(QDialog& dlg, int variant, const std::vector<int>& selections);
// Clicks the push button of that object name (a failure when there is none).
void ClickButton(QDialog& dlg, const QString& objectName);

// Closes each comparison list as it appears and keeps what it showed. Other modal dialogs (the
// parameter dialog itself) are left alone.
class ComparisonCloser {
public:
    struct List {
        QString heading;
        QString otherTitle;  // header of the third column
        QStringList rows;    // "caption|device|other"
    };

    ComparisonCloser();
    const QList<List>& Lists() const { return m_lists; }

private:
    QTimer m_timer;
    QList<List> m_lists;
};
