#include "records/progress_fill.h"

#include <cmath>

namespace {
double Fraction(int position, int lower, int upper) {
    return (static_cast<double>(position) - lower) / (static_cast<double>(upper) - lower);
}
}  // namespace

int ProgressFillWidth(int position, int lower, int upper, int width) {
    if (lower >= upper) {
        return 0;
    }
    return static_cast<int>(std::trunc(Fraction(position, lower, upper) * width));
}

QString ProgressText(const QString& stored, int position, int lower, int upper) {
    if (!stored.isEmpty()) {
        return stored;
    }
    if (lower >= upper) {
        return QString();
    }
    const int percent = static_cast<int>(std::trunc(Fraction(position, lower, upper) * 100.0));
    return QStringLiteral("%1%").arg(percent);
}
