#pragma once

#include <functional>
#include <utility>

#include "records/log_read.h"
#include "records/record_store.h"

// A log read's records into TEMP of a record store: each start empties TEMP; the records go in
// as rows of one open transaction, committed when the read has verified them. The store's
// failures of each step go to the report (the dialog shows them, the tool prints them).
class TempTableSink : public LogSink {
public:
    using Report = std::function<void(const records::StoreErrors&)>;

    explicit TempTableSink(RecordStore& store, Report report = {})
        : m_store(store), m_report(std::move(report)) {}
    void SetReport(Report report) { m_report = std::move(report); }

    bool Begin() override {
        m_store.RollbackAppended();
        const bool emptied = Reported(m_store.EmptyTable(records::kTempTable));
        return Reported(m_store.BeginAppending(records::kTempTable)) && emptied;
    }
    bool Add(const EventRecord& record) override { return Reported(m_store.AppendRow(record)); }
    bool Commit() override { return Reported(m_store.CommitAppended()); }
    void Rollback() override { m_store.RollbackAppended(); }

private:
    bool Reported(bool ok) {
        if (m_report && !m_store.Errors().IsEmpty()) {
            m_report(m_store.Errors());
        }
        return ok;
    }

    RecordStore& m_store;
    Report m_report;
};
