#pragma once

#include <QObject>

#include <memory>

class CMainFrame;

// The application object: creates the main window and handles the about command.
class CKPB650App : public QObject {
    Q_OBJECT
public:
    CKPB650App();
    ~CKPB650App() override;

    bool InitInstance();
    CMainFrame* MainFrame() const { return m_frame.get(); }

    void OnAppAbout();

private:
    std::unique_ptr<CMainFrame> m_frame;
};
