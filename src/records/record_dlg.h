#pragma once

#include <QTimer>

#include <functional>

#include "common/dialog_base.h"
#include "link/exchange.h"
#include "link/ms_comm.h"
#include "records/record_file_dialog.h"
#include "records/record_store.h"

class CBitmapFaceButton;
class CPercentProgressCtrl;
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
    // Replaces the modal file dialogs (tests).
    void SetFileChooser(RecordFileChooser chooser) { m_chooseFile = std::move(chooser); }

    // Reloads the list from TEMP (true) or from the working KPB650 (false).
    void FillListFromTable(bool fromTemp);

    // Button handlers.
    void OnReadLog();
    void OnClearLog();
    void OnOpenFile();
    void OnSaveFile();
    void OnGraphDisplay();

    CMSComm& Comm() { return m_comm; }
    RecordStore& Store() { return m_store; }
    const ExchangeState& Exchange() const { return m_exchange; }
    RecordListModel& ListModel() { return *m_model; }
    QTableView& List() { return *m_list; }
    CPercentProgressCtrl& Progress() { return *m_progress; }
    int RecordCounter() const { return m_recordCounter; }
    bool RunningDown() const { return m_runDown.isActive(); }
    bool OpeningFile() const { return m_store.IsOpeningText(); }

protected:
    void OnInitDialog() override;
    void OnEndDialog() override;

private:
    void OnComm();
    void OnTimeout();
    void OnLineLost(const QString& error);
    void HandleLogReply(const GatherResult& result);
    void HandleClearReply(const GatherResult& result);
    void EnableButtons(bool enable);
    void ClearReply();
    void StartTextOpening(const QString& path);
    void ContinueTextOpening();
    void FinishTextOpening();
    void StartRunDown();
    void RunDownTick();
    void StopRunDown();

    CMSComm m_comm;
    int m_portNumber = 1;
    ExchangeState m_exchange;
    ReplyGatherer m_gatherer;
    int m_recordCounter = 0;
    int m_replyBytes = 0;  // bytes of the reply being gathered, over all its receive events
    RecordStore m_store;

    RecordListModel* m_model = nullptr;
    QTableView* m_list = nullptr;
    CPercentProgressCtrl* m_progress = nullptr;
    CBitmapFaceButton* m_openButton = nullptr;
    CBitmapFaceButton* m_saveButton = nullptr;
    CBitmapFaceButton* m_readButton = nullptr;
    CBitmapFaceButton* m_clearButton = nullptr;
    CBitmapFaceButton* m_graphButton = nullptr;
    CBitmapFaceButton* m_exitButton = nullptr;

    // Reply time-out of a read (the first reply only).
    QTimer m_timeout;
    // Reads a long text file a slice at a time.
    QTimer m_openSlice;
    // Runs the bar down from full to empty after a clear, a few frames at a time.
    QTimer m_runDown;
    int m_runDownFrame = 0;

    GraphHandler m_graphHandler;
    RecordFileChooser m_chooseFile = RunRecordFileDialog;
};
