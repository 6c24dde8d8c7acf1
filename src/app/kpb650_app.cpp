#include "app/kpb650_app.h"

#include "app/main_frame.h"

CKPB650App::CKPB650App() = default;
CKPB650App::~CKPB650App() = default;

bool CKPB650App::InitInstance() {
    m_frame = std::make_unique<CMainFrame>();
    connect(m_frame.get(), &CMainFrame::AboutRequested, this, &CKPB650App::OnAppAbout);
    m_frame->show();
    return true;
}

void CKPB650App::OnAppAbout() {
    // Shows the identification dialog, a fresh object each time, once it exists.
}
