#pragma once

#include <QObject>

#include <memory>
#include <optional>

class CMainFrame;

// The application object: creates the main window and handles the about command.
class CKPB650App : public QObject {
    Q_OBJECT
public:
    CKPB650App();
    ~CKPB650App() override;

    // A variant fixed on the command line: the start-up switch takes it without setting.ini.
    void SetStartupVariant(std::optional<int> variant) { m_startupVariant = variant; }
    bool InitInstance();
    CMainFrame* MainFrame() const { return m_frame.get(); }

    void OnAppAbout();

private:
    std::unique_ptr<CMainFrame> m_frame;
    std::optional<int> m_startupVariant;
};

namespace app {

// The devices chosen for ports 1 and 2 in earlier runs become this run's, below the command
// line and the environment.
void RestoreRememberedPorts();

}  // namespace app
