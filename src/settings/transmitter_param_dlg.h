#pragma once

#include "settings/parameter_dlg.h"

// Dialog 134: the transmitter's (KPA-650) centre frequency, input delays and alarm delays.
class CTransmitterParamDlg : public CParameterDlg {
    Q_OBJECT
public:
    explicit CTransmitterParamDlg(QWidget* parent = nullptr, DeviceLink* link = nullptr);

    static const ParameterDlgTemplate& Template();
};
