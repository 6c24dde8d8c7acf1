#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include "common/dialog_base.h"
#include "journal/write_recorder.h"
#include "link/device_link.h"
#include "link/exchange.h"
#include "settings/parameter_codec.h"
#include "settings/parameter_conversation.h"
#include "settings/parameter_file.h"

class CMSComm;
class QComboBox;
class QLineEdit;
class QPushButton;

// A parameter dialog's template: positions in dialog units ("宋体" 9), texts and tool tips.
struct ParameterDlgTemplate {
    enum Kind { kGroup, kLabel, kEdit, kList, kButton };
    struct Item {
        Kind kind;
        int id;  // -1 for the statics and group boxes, which have none
        QString text;
        QRect rect;
        bool hidden = false;
    };
    struct ToolTip {
        std::vector<int> ids;
        QString text;
    };

    int resourceId;
    QString title;
    QSize size;
    std::vector<Item> items;
    std::vector<ToolTip> toolTips;
};

// Control ids shared by both parameter dialogs.
enum ParameterControl {
    kIdClose = 1,
    kIdRead = 1003,
    kIdComm = 1004,
    kIdFrequency = 1006,
    kIdWrite = 1011,
};

namespace settings {

// The remembered folder of parameter files (common/remembered_folder.h).
inline const QString kParameterFolderPurpose = QStringLiteral("parameters");

}  // namespace settings

// Chooses a parameter file: a file dialog, or a test's stand-in that answers at once. `save`
// asks for a name to write; `start` is the folder to open in, or for a save the proposed path.
// Empty: cancelled.
using ParameterFileChooser =
    std::function<QString(QWidget* parent, bool save, const QString& start)>;
QString RunParameterFileDialog(QWidget* parent, bool save, const QString& start);

// The mechanics both parameter dialogs share: the parameter conversations (write, read, compare),
// one at a time, on the main window's link or a line of its own when given none (echo, trailer
// and value checks, bounded repetition, time-out, refusal, lost line), and the port held only
// while the dialog shows. A variant brings its frame codec and its template.
class CParameterDlg : public CDialogBase {
    Q_OBJECT
public:
    // Written by the main frame before each showing.
    void SetPortNumber(int port) { m_portNumber = static_cast<short>(port); }
    int PortNumber() const { return m_portNumber; }

    const ParameterCodec& Codec() const { return m_codec; }
    const ExchangeState& Exchange() const { return m_state; }
    // The frequency text last taken by a write or set by a read.
    QString FrequencyText() const { return m_frequencyText; }
    CMSComm& Comm() { return *m_comm; }
    DeviceLink& Link() { return *m_device; }
    // A request is under way (its buttons are disabled meanwhile).
    bool Busy() const { return m_device->Exchange().Busy(); }

    void OnWrite();
    void OnRead();
    void OnClose();

    // A row of buttons below the dialog's own controls: save the values shown to a parameter
    // file, load a file into the controls (nothing is sent until 写入), and compare the device
    // with what the dialog shows or with a file. None of them writes to the device.
    void OnSaveFile();
    void OnLoadFile();
    void OnCompareShown();
    void OnCompareFile();
    // How a comparison speaks of the other set.
    struct ComparisonTexts {
        QString same;        // shown when nothing differs: "装置参数与...一致!"
        QString heading;     // above the differences: "装置参数与...不同的项："
        QString otherTitle;  // heads the column of the other set's values
    };
    // Reads the device and, instead of showing what it holds, lists the fields in which it
    // differs from `other`.
    void CompareWithDevice(const ParameterSet& other, const ComparisonTexts& texts);
    bool ComparisonPending() const { return m_comparison.has_value(); }
    // The values the controls show; the error is the write's own message for the frequency text.
    ParameterSetResult ShownSet() const;
    void SetFileChooser(ParameterFileChooser chooser) { m_chooseFile = std::move(chooser); }

protected:
    CParameterDlg(const ParameterCodec& codec, const ParameterDlgTemplate& layout, QWidget* parent,
                  DeviceLink* link);

    void OnInitDialog() override;
    void OnEndDialog() override;

private:
    void Build(const ParameterDlgTemplate& layout);
    void BuildFileControls(const ParameterDlgTemplate& layout);
    // Asks for a parameter file and loads it; none (its message shown) when cancelled or refused.
    std::optional<ParameterSet> ChooseAndLoadFile(QString* path);
    void OnWritten(const ParameterWriteResult& result);
    void OnReadFinished(const ParameterReadResult& result);
    void OnCompared(const ParameterCompareResult& result);
    // The end of a request: false (its message shown) when it brought no set to take.
    bool Received(const ExchangeResult& result);
    // A good read: the dialog's record of what the device holds.
    void TakeReading(const ParameterReadResult& result);
    std::vector<int> Selections() const;

    const ParameterCodec& m_codec;
    ExchangeState m_state;
    DeviceLink* m_device = nullptr;  // the line: control, exchange, port
    CMSComm* m_comm = nullptr;
    QPushButton* m_writeButton = nullptr;
    QPushButton* m_readButton = nullptr;
    QString m_frequencyText;
    short m_portNumber = 1;
    QLineEdit* m_frequency = nullptr;
    std::vector<QComboBox*> m_lists;  // in frame order, as the codec lists them

    std::optional<ComparisonTexts> m_comparison;  // armed by CompareWithDevice until its reply
    ParameterSet m_lastRead;                      // what the last read found, and when
    // The journal of writes and the history of sets read and written (a journal that cannot be
    // written is told once per showing and never stops the dialog); what the device held as far
    // as this showing knows (read or written), and the set a write under way sends.
    journal::WriteRecorder m_journal{QStringLiteral("kp650")};
    std::optional<ParameterSet> m_heldThisShowing;
    ParameterSet m_writing;
    ParameterFileChooser m_chooseFile = RunParameterFileDialog;
    ParameterWrite* m_write = nullptr;
    ParameterRead* m_read = nullptr;
    ParameterCompare* m_compare = nullptr;
};
