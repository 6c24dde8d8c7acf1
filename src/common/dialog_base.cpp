#include "common/dialog_base.h"

#include <QShowEvent>

void CDialogBase::done(int result) {
    if (m_showing) {
        m_showing = false;
        OnEndDialog();
    }
    QDialog::done(result);
}

void CDialogBase::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous() && !m_showing) {
        m_showing = true;
        OnInitDialog();
    }
}

QFont DialogFont() {
    QFont font;
    // AR PL UMing is a Song face with SimSun's 6 by 12 pixel metrics at this size; a CJK sans
    // is taller and would be clipped by the dialog-unit geometry.
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                      QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans CJK SC")});
    font.setPixelSize(12);
    return font;
}
