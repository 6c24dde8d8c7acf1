#include "common/dialog_base.h"

#include <QShowEvent>

CDialogBase::~CDialogBase() {
    ReturnHeld();
}

void CDialogBase::done(int result) {
    if (m_showing) {
        m_showing = false;
        OnEndDialog();
        ReturnHeld();
    }
    QDialog::done(result);
}

void CDialogBase::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous() && !m_showing) {
        m_showing = true;
        TakeHeld();
        OnInitDialog();
    }
}

void CDialogBase::TakeHeld() {
    if (m_held == nullptr || m_heldOwner != nullptr) {
        return;
    }
    for (QObject* up = m_held->parent(); up != nullptr; up = up->parent()) {
        if (up == this) {
            return;  // the dialog's own already
        }
    }
    m_heldOwner = m_held->parent();
    m_held->setParent(this);
}

void CDialogBase::ReturnHeld() {
    if (m_held != nullptr && m_heldOwner != nullptr) {
        m_held->setParent(m_heldOwner);
    }
    m_heldOwner = nullptr;
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
