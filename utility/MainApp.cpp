#include "utility/MainApp.h"

#include "kiv/gui/XBackend.h"
#include "kiv/gui/XConst.h"
#include "utility/CorvaneWindowConst.h"
#include "utility/MainView.h"

namespace {

XApp* s_app = nullptr;

}  // namespace

XApp::XApp() { s_app = this; }

XApp::~XApp()
{
    if (s_app == this)
        s_app = nullptr;
}

XApp* XApp::Get() { return s_app; }

void XApp::PostQuit(int code)
{
    m_exitCode = code;
    m_quit = true;
}

int XApp::Run(XBackend* backend)
{
    if (!backend)
        return 1;
    const uint32_t start = backend->NowMs();
    bool closeAsked = false;
    while (!m_quit) {
        backend->Pump(corvane::kPumpMs);
        if (m_closeAfterMs > 0 && !closeAsked &&
            static_cast<int32_t>(backend->NowMs() - start) >= m_closeAfterMs) {
            closeAsked = true;
            RequestClose();
        }
    }
    return m_exitCode;
}

MainApp::MainApp() = default;

MainApp::~MainApp()
{
    delete m_view;
    m_view = nullptr;
}

bool MainApp::Init()
{
    if (!m_view) {
        m_view = new MainView;
        m_view->SetListener(this);
    }
    return m_view->OpenWindow();
}

void MainApp::RequestClose()
{
    if (m_view)
        m_view->Close(0);
}

int MainApp::Notify(XControl* sender, int code, int value)
{
    (void)value;
    if (code == static_cast<int>(xconst::kCodeWindowClosed) && sender == m_view && !IsQuitRequested()) {
        OnExit();
        PostQuit(0);
    }
    return 0;
}
