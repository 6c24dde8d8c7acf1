#include "records/event_signals.h"

const SignalTable& SignalTableOf(int variant) {
    static const SignalTable a = {{
        {QStringLiteral("命令1启动"), QStringLiteral("命令1返回"), QStringLiteral("Command 1")},
        {QStringLiteral("命令2启动"), QStringLiteral("命令2返回"), QStringLiteral("Command 2")},
        {QStringLiteral("命令3启动"), QStringLiteral("命令3返回"), QStringLiteral("Command 3")},
        {QStringLiteral("功放过载告警"), QStringLiteral("功放过载告警返回"),
         QStringLiteral("PA overload alarm")},
        {QStringLiteral("功放过低告警"), QStringLiteral("功放过低告警返回"),
         QStringLiteral("PA low alarm")},
        {QString(), QString(), QString()},
        {QString(), QString(), QString()},
    }};
    static const SignalTable b = {{
        {QStringLiteral("命令1启动"), QStringLiteral("命令1返回"), QStringLiteral("Command 1")},
        {QStringLiteral("命令2启动"), QStringLiteral("命令2返回"), QStringLiteral("Command 2")},
        {QStringLiteral("命令3启动"), QStringLiteral("命令3返回"), QStringLiteral("Command 3")},
        {QStringLiteral("信噪比告警"), QStringLiteral("信噪比告警返回"),
         QStringLiteral("S/N alarm")},
        {QStringLiteral("信号过高告警"), QStringLiteral("信号过高告警返回"),
         QStringLiteral("Signal high alarm")},
        {QStringLiteral("通道故障告警"), QStringLiteral("通道故障告警返回"),
         QStringLiteral("Channel fault alarm")},
        {QStringLiteral("信号过低告警"), QStringLiteral("信号过低告警返回"),
         QStringLiteral("Signal low alarm")},
    }};
    return variant == 0 ? a : b;
}

int SignalCountOf(int variant) {
    const SignalTable& table = SignalTableOf(variant);
    int n = 0;
    while (n < records::kSignalCount && !table[static_cast<std::size_t>(n)].start.isEmpty()) {
        ++n;
    }
    return n;
}

SignalEvent SignalEventOf(const SignalTable& table, const QString& event) {
    if (event.isEmpty()) {
        return {};
    }
    for (int s = 0; s < records::kSignalCount; ++s) {
        const SignalTexts& texts = table[static_cast<std::size_t>(s)];
        if (event == texts.start) {
            return {s, true};
        }
        if (event == texts.ret) {
            return {s, false};
        }
    }
    return {};
}
