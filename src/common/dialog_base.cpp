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
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(12);
    return font;
}
