#include "cli/ctl_params_diff.h"

#include <QJsonArray>

#include "common/globals.h"
#include "link/identity.h"

namespace cli {

ParamsDiffReport DiffDeviceAndFile(const ParameterSet& device, const ParameterSet& file,
                                   const QString& filePath) {
    ParamsDiffReport report;
    QJsonArray differences;
    for (const FieldDifference& d : CompareParameterSets(device, file)) {
        differences.append(QJsonObject{{QStringLiteral("name"), d.name},
                                       {QStringLiteral("caption"), d.caption},
                                       {QStringLiteral("device"), d.a},
                                       {QStringLiteral("file"), d.b}});
        report.text +=
            QStringLiteral("%1 (%2): 装置 %3，文件 %4\n").arg(d.caption, d.name, d.a, d.b);
    }
    report.equal = differences.isEmpty();
    report.json = QJsonObject{{QStringLiteral("device"), DeviceModelName(device.variant)},
                              {QStringLiteral("file"), filePath},
                              {QStringLiteral("equal"), report.equal},
                              {QStringLiteral("differences"), differences}};
    return report;
}

QString OtherVariantReplyText(const QByteArray& reply, int expected) {
    const std::optional<int> shape = VariantOfIdentityReply(reply);
    if (!shape || *shape == expected) {
        return QString();
    }
    return QStringLiteral(
               "应答有 %1 的格式（%2 字节：%3），不是 %4 的：装置应为 %1，"
               "请用 --variant %5 或不指定 --variant")
        .arg(DeviceModelName(*shape))
        .arg(reply.size())
        .arg(QString::fromLatin1(reply.toHex(' ').toUpper()), DeviceModelName(expected),
             *shape == kVariantB ? QStringLiteral("B") : QStringLiteral("A"));
}

}  // namespace cli
