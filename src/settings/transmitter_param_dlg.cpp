#include "settings/transmitter_param_dlg.h"

#include "settings/transmitter_codec.h"

CTransmitterParamDlg::CTransmitterParamDlg(QWidget* parent, DeviceLink* link)
    : CParameterDlg(transmitter::Codec(), Template(), parent, link) {}

const ParameterDlgTemplate& CTransmitterParamDlg::Template() {
    using T = ParameterDlgTemplate;
    static const T layout{
        134,
        QStringLiteral("KPA-650参数"),
        QSize(262, 160),
        {
            // Frequency and work mode.
            {T::kGroup, -1, QString(), QRect(7, 5, 248, 34)},
            {T::kLabel, -1, QStringLiteral("中心频率:"), QRect(16, 19, 40, 8)},
            {T::kEdit, 1006, QString(), QRect(58, 17, 70, 12)},
            {T::kLabel, -1, QStringLiteral("kHz"), QRect(131, 19, 16, 8)},
            {T::kLabel, -1, QStringLiteral("工作方式："), QRect(160, 19, 40, 8), true},
            {T::kList, 1007, QString(), QRect(200, 17, 50, 12), true},
            // Alarm delays.
            {T::kGroup, -1, QString(), QRect(7, 43, 248, 40)},
            {T::kLabel, -1, QStringLiteral("功放过低"), QRect(16, 54, 40, 8)},
            {T::kLabel, -1, QStringLiteral("告警延时:"), QRect(16, 64, 40, 8)},
            {T::kList, 1010, QString(), QRect(58, 58, 72, 12)},
            {T::kLabel, -1, QStringLiteral("功放过载"), QRect(138, 54, 40, 8)},
            {T::kLabel, -1, QStringLiteral("告警延时:"), QRect(138, 64, 40, 8)},
            {T::kList, 1014, QString(), QRect(178, 58, 72, 12)},
            // Input delays.
            {T::kGroup, -1, QString(), QRect(7, 87, 248, 44)},
            {T::kLabel, -1, QStringLiteral("命令1："), QRect(58, 95, 40, 8)},
            {T::kLabel, -1, QStringLiteral("命令2："), QRect(124, 95, 40, 8)},
            {T::kLabel, -1, QStringLiteral("命令3："), QRect(190, 95, 40, 8)},
            {T::kLabel, -1, QStringLiteral("输入延时:"), QRect(16, 112, 40, 8)},
            {T::kList, 1008, QString(), QRect(58, 110, 60, 12)},
            {T::kList, 1012, QString(), QRect(124, 110, 60, 12)},
            {T::kList, 1013, QString(), QRect(190, 110, 60, 12)},
            // Buttons.
            {T::kButton, 1011, QStringLiteral("写入"), QRect(40, 138, 50, 14)},
            {T::kButton, 1003, QStringLiteral("读出"), QRect(106, 138, 50, 14)},
            {T::kButton, 1, QStringLiteral("取消"), QRect(172, 138, 50, 14)},
        },
        {
            {{1008, 1012, 1013},
             QStringLiteral("设置输入延时将会消除命令输入的抖动，但是该设置会增加命令的传输时间，"
                            "默认设置为：0ms")},
            {{1006},
             QStringLiteral(
                 "该项设置可以改变DDS插件的工作频率，注：该设置不能修改整机的工作频率！")},
            {{1010},
             QStringLiteral("设置功放过低告警延时的时间会使该告警信号延时输出，默认设置为：0ms")},
            {{1014},
             QStringLiteral("设置功放过载告警延时的时间会使该告警信号延时输出，默认设置为：0ms")},
        },
    };
    return layout;
}
