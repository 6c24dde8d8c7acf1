#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QString>

#include <vector>

#include "settings/parameter_file.h"

class QLabel;

// The fields in which a device differs from another set: one row each, with the field's caption,
// the device's value and the other value, as the dialog shows them.
class ParameterDifferenceModel : public QAbstractTableModel {
    Q_OBJECT
public:
    ParameterDifferenceModel(std::vector<FieldDifference> differences, QString otherTitle,
                             QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    const std::vector<FieldDifference>& Differences() const { return m_differences; }

private:
    std::vector<FieldDifference> m_differences;
    QString m_otherTitle;
};

// Shows a comparison's differences; nothing in it changes the device or the parameter dialog.
class CParameterCompareDlg : public QDialog {
    Q_OBJECT
public:
    CParameterCompareDlg(const QString& heading, const QString& otherTitle,
                         std::vector<FieldDifference> differences, QWidget* parent = nullptr);

    const ParameterDifferenceModel& Model() const { return *m_model; }

private:
    ParameterDifferenceModel* m_model;
};
