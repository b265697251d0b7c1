// XApp: a program's application object, the listener of its main view. It
// runs the program's event loop until the quit request. MainApp: the
// utility's application, owner of its one window (MainView). GUI thread.
#pragma once
#include <cstdint>

#include "kiv/gui/XListener.h"

class MainView;
class XBackend;

class XApp : public XListener {
public:
    XApp();
    ~XApp() override;

    // The program's application object (set by its constructor).
    static XApp* Get();

    // Makes and shows the main window; false when that fails.
    virtual bool Init() = 0;
    // Called once before the loop ends on a closed main window.
    virtual void OnExit() {}
    // Asks the main window to close as its own close button would.
    virtual void RequestClose() {}

    // Ends the loop with the code.
    void PostQuit(int code);
    bool IsQuitRequested() const { return m_quit; }
    int GetExitCode() const { return m_exitCode; }
    // After ms, RequestClose (for unattended runs); 0 = never.
    void SetCloseAfter(int ms) { m_closeAfterMs = ms; }

    // Pumps the back end until PostQuit; returns the exit code.
    int Run(XBackend* backend);

private:
    bool m_quit = false;
    int m_exitCode = 0;
    int m_closeAfterMs = 0;
};

class MainApp : public XApp {
public:
    MainApp();
    // Deletes the view (which stops and waits for a running scan).
    ~MainApp() override;

    bool Init() override;
    void RequestClose() override;
    // 'wcls' from the main view: the program ends with 0.
    int Notify(XControl* sender, int code, int value) override;

    MainView* GetView() const { return m_view; }

private:
    MainView* m_view = nullptr;
};
