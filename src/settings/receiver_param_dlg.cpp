#include "settings/receiver_param_dlg.h"

#include "settings/receiver_codec.h"

CReceiverParamDlg::CReceiverParamDlg(QWidget* parent, DeviceLink* link)
    : CParameterDlg(receiver::Codec(), Template(), parent, link) {}

const ParameterDlgTemplate& CReceiverParamDlg::Template() {
    using T = ParameterDlgTemplate;
    static const T layout{
        142,
        QStringLiteral("KPB-650参数"),
        QSize(276, 162),
        {
            // Frequency and work mode.
            {T::kGroup, -1, QString(), QRect(7, 5, 262, 30)},
            {T::kLabel, -1, QStringLiteral("中心频率:"), QRect(16, 17, 40, 8)},
            {T::kEdit, 1006, QString(), QRect(58, 15, 70, 12)},
            {T::kLabel, -1, QStringLiteral("kHz"), QRect(131, 17, 16, 8)},
            {T::kLabel, -1, QStringLiteral("工作方式:"), QRect(160, 17, 40, 8), true},
            {T::kList, 1007, QString(), QRect(200, 15, 60, 12), true},
            // Alarms.
            {T::kGroup, -1, QString(), QRect(7, 39, 262, 36)},
            {T::kLabel, -1, QStringLiteral("告警延时:"), QRect(16, 55, 40, 8)},
            {T::kList, 1010, QString(), QRect(58, 53, 72, 12)},
            {T::kLabel, -1, QStringLiteral("信噪比告警 "), QRect(136, 49, 50, 8)},
            {T::kLabel, -1, QStringLiteral("闭锁命令："), QRect(136, 59, 50, 8)},
            {T::kList, 1021, QString(), QRect(188, 53, 72, 12)},
            // Command timing.
            {T::kGroup, -1, QString(), QRect(7, 79, 262, 56)},
            {T::kLabel, -1, QStringLiteral("命令1："), QRect(58, 87, 40, 8)},
            {T::kLabel, -1, QStringLiteral("命令2："), QRect(126, 87, 40, 8)},
            {T::kLabel, -1, QStringLiteral("命令3："), QRect(194, 87, 40, 8)},
            {T::kLabel, -1, QStringLiteral("判别时间:"), QRect(16, 100, 40, 8)},
            {T::kList, 1009, QString(), QRect(58, 98, 60, 12)},
            {T::kList, 1014, QString(), QRect(126, 98, 60, 12)},
            {T::kList, 1015, QString(), QRect(194, 98, 60, 12)},
            {T::kLabel, -1, QStringLiteral("输出展宽:"), QRect(16, 118, 40, 8)},
            {T::kList, 1008, QString(), QRect(58, 116, 60, 12)},
            {T::kList, 1012, QString(), QRect(126, 116, 60, 12)},
            {T::kList, 1013, QString(), QRect(194, 116, 60, 12)},
            // Buttons.
            {T::kButton, 1011, QStringLiteral("写入"), QRect(45, 142, 50, 14)},
            {T::kButton, 1003, QStringLiteral("读出"), QRect(113, 142, 50, 14)},
            {T::kButton, 1, QStringLiteral("取消"), QRect(181, 142, 50, 14)},
        },
        {
            {{1009, 1014, 1015},
             QStringLiteral("设置判别时间将会消除命令输出的抖动，但是该设置会增加命令的传输时间，"
                            "默认设置为：0ms")},
            {{1008, 1012, 1013},
             QStringLiteral("设置输出展宽的时间会使命令输出时间加长， 默认设置为：0ms")},
            {{1010},
             QStringLiteral("设置通道故障告警延时的时间会使该告警信号延时输出，默认设置为：0ms")},
            {{1021},
             QStringLiteral("当设置为“信噪比告警闭锁命令输出”时：在信噪比告警时，"
                            "命令输出将被闭锁。默认设置为：不闭锁命令输出。")},
            {{1006},
             QStringLiteral(
                 "该项设置可以改变DSP插件的工作频率，注：该设置不能修改整机的工作频率！")},
        },
    };
    return layout;
}
