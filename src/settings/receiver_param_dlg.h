#pragma once

#include "settings/parameter_dlg.h"

// Dialog 142: the receiver's (KPB-650) centre frequency, discrimination times, output
// widenings, alarm delay and command blocking.
class CReceiverParamDlg : public CParameterDlg {
    Q_OBJECT
public:
    explicit CReceiverParamDlg(QWidget* parent = nullptr, DeviceLink* link = nullptr);

    static const ParameterDlgTemplate& Template();
};
