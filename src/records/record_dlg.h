#pragma once

#include <QTimer>

#include <functional>
#include <optional>

#include "common/dialog_base.h"
#include "journal/write_recorder.h"
#include "link/device_exchange.h"
#include "link/device_link.h"
#include "link/exchange.h"
#include "link/ms_comm.h"
#include "records/log_clear.h"
#include "records/log_read.h"
#include "records/record_file_dialog.h"
#include "records/record_snapshot.h"
#include "records/record_store.h"
#include "records/temp_table_sink.h"

class CBitmapFaceButton;
class CPercentProgressCtrl;
class QMenu;
class QTableView;
class RecordListModel;

// The record query dialog: reads and clears the device's event log, lists records, saves and
// opens record files and starts the event graph. Owned by the main frame for its whole life;
// every showing opens the port and connects the working database afresh.
class CRecordDlg : public CDialogBase {
    Q_OBJECT
public:
    // Control ids.
    enum {
        kIdList = 1005,
        kIdProgress = 1040,
        kIdOpenFile = 1026,
        kIdSaveFile = 1027,
        kIdReadLog = 1011,
        kIdClearLog = 1012,
        kIdGraph = 1003,
        kIdExit = 1,
        kIdComm = 1004,
    };

    explicit CRecordDlg(QWidget* parent = nullptr);
    ~CRecordDlg() override;

    void SetPortNumber(int port) { m_portNumber = port; }
    int PortNumber() const { return m_portNumber; }

    // Runs the event graph of the current variant modally over this dialog. The dialog closes
    // its database connection around the call (the graph opens its own) and reconnects after.
    // Without a handler the graph button does nothing.
    using GraphHandler = std::function<void(QWidget* parent)>;
    void SetGraphHandler(GraphHandler handler) { m_graphHandler = std::move(handler); }
    // Runs the event graph over the records the list shows (beside the graph button, which draws
    // the working KPB650); the dialog's connection is closed around the call as for the button.
    using ListGraphHandler =
        std::function<void(QWidget* parent, const std::vector<EventRecord>& records)>;
    void SetListGraphHandler(ListGraphHandler handler) { m_listGraphHandler = std::move(handler); }
    // Replaces the modal file dialogs (tests).
    void SetFileChooser(RecordFileChooser chooser) { m_chooseFile = std::move(chooser); }

    // Records taken out of the fleet archive for the next showing: they replace the working
    // KPB650, as an opened file's records do, and the list shows them, so the exports and the
    // graph work on them. That showing leaves the port closed (no device is needed to look at
    // an archive; a read opens it as any request does).
    void SetArchiveRecords(std::vector<EventRecord> records) {
        m_archiveRecords = std::move(records);
    }

    // Reloads the list from TEMP (true) or from the working KPB650 (false).
    void FillListFromTable(bool fromTemp);

    // Button handlers.
    void OnReadLog();
    void OnClearLog();
    void OnOpenFile();
    void OnSaveFile();
    void OnGraphDisplay();

    // The list's context menu: copy the selected rows, export what the list shows, graph it.
    void OnCopySelection();
    void OnExportCsv();
    void OnExportComtrade();
    void OnGraphOfList();
    // The records the list shows, in list order.
    std::vector<EventRecord> ListedRecords() const;
    // Builds the context menu of the list (its caller owns it); entries that cannot act now are
    // disabled.
    QMenu* CreateListMenu(QWidget* parent);

    CMSComm& Comm() { return m_comm; }
    DeviceLink& Link() { return m_device; }
    RecordStore& Store() { return m_store; }
    const ExchangeState& Exchange() const { return m_exchange; }
    RecordListModel& ListModel() { return *m_model; }
    QTableView& List() { return *m_list; }
    CPercentProgressCtrl& Progress() { return *m_progress; }
    int RecordCounter() const { return m_recordCounter; }
    bool Busy() const { return m_link.Busy() || m_logRead.Busy() || m_logClear.Busy(); }
    bool RunningDown() const { return m_runDown.isActive(); }
    bool OpeningFile() const { return m_store.IsOpeningText(); }

protected:
    void OnInitDialog() override;
    void OnEndDialog() override;

private:
    void OnLogReadFinished(const LogReadResult& result);
    void HandleClearResult(const LogClearResult& result);
    void EnableButtons(bool enable);
    void StartTextOpening(const QString& path);
    void ContinueTextOpening();
    void FinishTextOpening();
    void ContinueFilling();
    void EndFilling();
    void ShowRows(RecordSnapshot rows);
    void StartRunDown();
    void RunDownTick();
    void StopRunDown();
    void OnListContextMenu(const QPoint& pos);

    DeviceLink m_device;  // this dialog's line: control, exchange, port
    CMSComm& m_comm = m_device.Comm();
    DeviceExchange& m_link = m_device.Exchange();
    int m_portNumber = 1;
    ExchangeState m_exchange;
    journal::WriteRecorder m_journal{QStringLiteral("kp650")};
    int m_recordCounter = 0;
    RecordStore m_store;
    // A log read shows at most one database error box.
    std::optional<RecordStore::ErrorScope> m_readErrors;
    TempTableSink m_sink{m_store};
    LogRead m_logRead{m_device, m_sink};
    LogClear m_logClear{m_device};

    RecordListModel* m_model = nullptr;
    QTableView* m_list = nullptr;
    CPercentProgressCtrl* m_progress = nullptr;
    CBitmapFaceButton* m_openButton = nullptr;
    CBitmapFaceButton* m_saveButton = nullptr;
    CBitmapFaceButton* m_readButton = nullptr;
    CBitmapFaceButton* m_clearButton = nullptr;
    CBitmapFaceButton* m_graphButton = nullptr;
    CBitmapFaceButton* m_exitButton = nullptr;

    // Reads a long text file a slice at a time.
    QTimer m_openSlice;
    RecordSnapshot m_filling;  // the opened file's rows, copied a slice per turn
    // Runs the bar down from full to empty after a clear, a few frames at a time.
    QTimer m_runDown;
    int m_runDownFrame = 0;

    std::optional<std::vector<EventRecord>> m_archiveRecords;
    GraphHandler m_graphHandler;
    ListGraphHandler m_listGraphHandler;
    RecordFileChooser m_chooseFile = RunRecordFileDialog;
};
