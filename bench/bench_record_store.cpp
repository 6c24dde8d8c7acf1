// Times the record store on 100 000 records (save and open, database and text) and 255 log
// records appended one commit each. Runs in a temporary program directory.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#include "records/record_store.h"
#include "records/record_text_file.h"
#include "support/test_support.h"

namespace {

double Seconds(const QElapsedTimer& timer) {
    return timer.nsecsElapsed() / 1e9;
}

void Report(const char* what, double seconds) {
    std::printf("%-44s %8.3f s\n", what, seconds);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    if (!home.isValid()) {
        return 1;
    }
    qputenv("KP650_HOME", home.path().toUtf8());
    MessageBoxRecorder boxes;
    constexpr int kRecords = 100000;

    // Source records, loaded through a text file of the record line format.
    const QString source = home.filePath("source.txt");
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly)) {
            return 1;
        }
        for (int i = 0; i < kRecords; ++i) {
            const EventRecord record = RecordFromLogValues(
                2000 + i % 30, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60, i % 1000, i % 23, 1);
            file.write(FormatRecordLine(i + 1, record) + "\r\n");
        }
    }

    RecordStore store;
    if (!store.ConnectWorking(1)) {
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    store.OpenRecords(source);
    store.EmptyTable(records::kTempTable);
    store.CopyTable(records::kKpb650Table, records::kTempTable);
    Report("fill TEMP (open text + copy), 100000", Seconds(timer));

    const QString mdb = home.filePath("out.mdb");
    const QString txt = home.filePath("out.txt");
    timer.restart();
    store.SaveRecords(mdb);
    Report("save database, 100000 records", Seconds(timer));
    timer.restart();
    store.SaveRecords(txt);
    Report("save text, 100000 records", Seconds(timer));
    timer.restart();
    store.OpenRecords(mdb);
    Report("open database, 100000 records", Seconds(timer));
    const int fromDatabase = store.RowCount(records::kKpb650Table);
    timer.restart();
    store.OpenRecords(txt);
    Report("open text, 100000 records", Seconds(timer));
    const int fromText = store.RowCount(records::kKpb650Table);

    store.EmptyTable(records::kTempTable);
    const QByteArray log = QByteArray::fromHex("0a 09 19 0a 1e 0f 01 f4 01");
    timer.restart();
    for (int i = 0; i < 255; ++i) {
        store.Append(records::kTempTable, RecordFromLogBytes(log, 1));
    }
    Report("append 255 log records, one commit each", Seconds(timer));

    std::printf("rows read back: database %d, text %d, appended %d; message boxes %d\n",
                fromDatabase, fromText, store.RowCount(records::kTempTable),
                static_cast<int>(boxes.Boxes().size()));
    return 0;
}
