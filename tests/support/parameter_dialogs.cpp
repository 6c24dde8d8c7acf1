#include "parameter_dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "settings/receiver_param_dlg.h"
#include "settings/transmitter_param_dlg.h"

std::unique_ptr<CParameterDlg> MakeParameterDialog(int variant) {
    if (variant == 0) {
        return std::make_unique<CTransmitterParamDlg>();
    }
    return std::make_unique<CReceiverParamDlg>();
}

const std::vector<int>& ParameterListIds(int variant) {
    static const std::vector<int> a{1007, 1008, 1012, 1013, 1010, 1014};
    static const std::vector<int> b{1009, 1008, 1014, 1012, 1015, 1013, 1007, 1010, 1021};
    return variant == 0 ? a : b;
}

QLineEdit* FrequencyBox(QDialog& dlg) {
    return dlg.findChild<QLineEdit*>(QStringLiteral("id1006"));
}

std::vector<int> ShownLists(QDialog& dlg, int variant) {
    std::vector<int> shown;
    for (const int id : ParameterListIds(variant)) {
        auto* list = dlg.findChild<QComboBox*>(QStringLiteral("id%1").arg(id));
        shown.push_back(list ? list->currentIndex() : -2);
    }
    return shown;
}

void SetLists(QDialog& dlg, int variant, const std::vector<int>& selections) {
    for (std::size_t i = 0; i < selections.size(); ++i) {
        const int id = ParameterListIds(variant)[i];
        dlg.findChild<QComboBox*>(QStringLiteral("id%1").arg(id))->setCurrentIndex(selections[i]);
    }
}

void ClickButton(QDialog& dlg, const QString& objectName) {
    auto* button = dlg.findChild<QPushButton*>(objectName);
    QVERIFY2(button, qPrintable(objectName));
    button->click();
}

ComparisonCloser::ComparisonCloser() {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("dlgParameterCompare")) {
            return;
        }
        List list;
        if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("labelCompareHeading"))) {
            list.heading = label->text();
        }
        if (auto* table = dialog->findChild<QTableView*>(QStringLiteral("tableDifferences"))) {
            const QAbstractItemModel* model = table->model();
            list.otherTitle = model->headerData(2, Qt::Horizontal).toString();
            for (int r = 0; r < model->rowCount(); ++r) {
                QStringList cells;
                for (int c = 0; c < model->columnCount(); ++c) {
                    cells << model->index(r, c).data().toString();
                }
                list.rows << cells.join(QLatin1Char('|'));
            }
        }
        m_lists << list;
        dialog->accept();
    });
    m_timer.start(5);
}
