#include "graph/graph_variant_layout.h"

#include "common/globals.h"

namespace graph {

namespace {

const VariantLayout kLayoutA = {
    131,
    "KPA-650图形显示",
    184,
    81,
    {81, 3},
    {20, 40, 60, 80, 100, 120, 124},
    {20, 20, 20, 20, 20, 15, 11},
    2,
    {127, 140},
    {169, 140},
    {208, 140},
    {248, 140},
    {288, 140},
    {13, 141},
    {45, 158},
    {137, 158},
    {208, 161},
    {276, 161},
    {"命令1:", "命令2:", "命令3:", "功放过载告警:", "功放过低告警:", "命令持续10秒:", ""},
};

const VariantLayout kLayoutB = {
    140,
    "KPB-650图形显示",
    221,
    78,
    {78, 3},
    {20, 40, 60, 80, 100, 120, 140},
    {20, 20, 20, 20, 20, 20, 21},
    0,
    {124, 171},
    {167, 171},
    {208, 171},
    {249, 171},
    {289, 171},
    {13, 180},
    {45, 193},
    {137, 193},
    {201, 194},
    {274, 194},
    {"命令1:", "命令2:", "命令3:", "信噪比告警:", "信号过高告警:", "通道故障告警:",
     "信号过低告警:"},
};

}  // namespace

const VariantLayout& LayoutOf(int variant) {
    return variant == kVariantA ? kLayoutA : kLayoutB;
}

QString RowName(const VariantLayout& layout, int row) {
    QString name = QString::fromUtf8(layout.labels[static_cast<std::size_t>(row)]);
    if (name.endsWith(QLatin1Char(':'))) {
        name.chop(1);
    }
    return name;
}

}  // namespace graph
