#include "settings/parameter_compare_dlg.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "common/dialog_base.h"

ParameterDifferenceModel::ParameterDifferenceModel(std::vector<FieldDifference> differences,
                                                   QString otherTitle, QObject* parent)
    : QAbstractTableModel(parent),
      m_differences(std::move(differences)),
      m_otherTitle(std::move(otherTitle)) {}

int ParameterDifferenceModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_differences.size());
}

int ParameterDifferenceModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant ParameterDifferenceModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return QVariant();
    }
    const FieldDifference& d = m_differences[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
        case 0:
            return d.caption;
        case 1:
            return d.a;
        case 2:
            return d.b;
        default:
            return QVariant();
    }
}

QVariant ParameterDifferenceModel::headerData(int section, Qt::Orientation orientation,
                                              int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
        case 0:
            return QStringLiteral("参数");
        case 1:
            return QStringLiteral("装置");
        case 2:
            return m_otherTitle;
        default:
            return QVariant();
    }
}

CParameterCompareDlg::CParameterCompareDlg(const QString& heading, const QString& otherTitle,
                                           std::vector<FieldDifference> differences,
                                           QWidget* parent)
    : QDialog(parent),
      m_model(new ParameterDifferenceModel(std::move(differences), otherTitle, this)) {
    setObjectName(QStringLiteral("dlgParameterCompare"));
    setWindowTitle(QStringLiteral("参数比较"));
    setFont(DialogFont());

    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(heading, this);
    label->setObjectName(QStringLiteral("labelCompareHeading"));
    label->setWordWrap(true);
    layout->addWidget(label);

    auto* table = new QTableView(this);
    table->setObjectName(QStringLiteral("tableDifferences"));
    table->setModel(m_model);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table);

    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("buttonCloseCompare"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    resize(460, 280);
}
