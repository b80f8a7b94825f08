// The tray module's tray program: the Qt application, message boxes as dialogs, the tray dialog, and
// the event loop that also takes the main thread's messages (the engine's heartbeats, close
// requests, quit requests).
#pragma once

#include "shell/CQtMessageBoxPresenter.h"
#include "shell/ITrayProgram.h"

#include <memory>

class CTarvikDlg;
class QApplication;
class QSocketNotifier;

class CTrayProgram : public ITrayProgram
{
public:
    CTrayProgram();
    ~CTrayProgram() override;
    CTrayProgram(const CTrayProgram&) = delete;
    CTrayProgram& operator=(const CTrayProgram&) = delete;

    bool DisplayReachable() override;
    void Open(int& argc, char** argv) override;
    void ShowTray(CFMonitorApp* pEngine) override;
    void RunLoop() override;
    void Close() override;

    CTarvikDlg* Dialog() const { return m_pDialog.get(); }

private:
    // Takes every message of the main thread's queue (the notifier on its handle fired).
    void OnThreadMessages();

    std::unique_ptr<QApplication> m_pQtApp;
    std::unique_ptr<CTarvikDlg> m_pDialog;
    QSocketNotifier* m_pQueueNotifier = nullptr;
    CQtMessageBoxPresenter m_presenter;
    bool m_bPresenterSet = false;
};
