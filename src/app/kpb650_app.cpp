#include "app/kpb650_app.h"

#include "app/about_dlg.h"
#include "app/main_frame.h"
#include "common/user_settings.h"
#include "link/port_names.h"

CKPB650App::CKPB650App() = default;
CKPB650App::~CKPB650App() = default;

bool CKPB650App::InitInstance() {
    m_frame = std::make_unique<CMainFrame>();
    m_frame->SetStartupVariant(m_startupVariant);
    connect(m_frame.get(), &CMainFrame::AboutRequested, this, &CKPB650App::OnAppAbout);
    m_frame->show();
    return true;
}

void CKPB650App::OnAppAbout() {
    // A fresh dialog each time: every opening is a new exchange with empty fields, on the main
    // window's line once there is one (its status bar watches it).
    CAboutDlg dlg(m_frame.get(), m_frame ? &m_frame->Link() : nullptr);
    dlg.exec();
}

void app::RestoreRememberedPorts() {
    for (int port : {1, 2}) {
        SetRememberedPortDevice(port, common::RememberedPortDevice(port));
    }
}
