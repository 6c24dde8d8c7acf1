#pragma once

#include "records/log_read.h"
#include "records/record_store.h"

// A log read's records into TEMP of a record store: each start empties TEMP; the records go in
// as rows of one open transaction, committed when the read has verified them.
class TempTableSink : public LogSink {
public:
    explicit TempTableSink(RecordStore& store) : m_store(store) {}

    bool Begin() override {
        m_store.RollbackAppended();
        return m_store.EmptyTable(records::kTempTable) &&
               m_store.BeginAppending(records::kTempTable);
    }
    bool Add(const EventRecord& record) override { return m_store.AppendRow(record); }
    bool Commit() override { return m_store.CommitAppended(); }
    void Rollback() override { m_store.RollbackAppended(); }

private:
    RecordStore& m_store;
};
