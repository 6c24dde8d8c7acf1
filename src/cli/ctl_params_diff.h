#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include "settings/parameter_file.h"

// kp650ctl's comparison of what a device holds with a parameter file, and its reading of an
// identification reply that has the other variant's shape.

namespace cli {

struct ParamsDiffReport {
    bool equal = true;
    QString text;  // one line a differing field: "caption (name): 装置 X，文件 Y"
    QJsonObject
        json;  // {"device", "file", "equal", "differences": [{name, caption, device, file}]}
};

ParamsDiffReport DiffDeviceAndFile(const ParameterSet& device, const ParameterSet& file,
                                   const QString& filePath);

// When `reply` is a whole identification of the variant other than `expected`: says so, shows
// the bytes and the variant to ask for. Empty otherwise.
QString OtherVariantReplyText(const QByteArray& reply, int expected);

}  // namespace cli
