#pragma once

// The main window. It lays out the controls, owns the Qt-free UpgradeTool and
// binds it to the controls through the core's ports, and forwards the
// window's events (show, first activation, close, the buttons, socket
// readiness) to the tool's handlers inside one error guard.

#include "core/upgrade_tool.h"
#include "gui/qt/frmmain_dialogs.h"
#include "gui/qt/frmmain_ports.h"
#include "gui/qt/frmmain_socket_events.h"
#include "platform/sleeper.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTextEdit;
class QTreeWidget;

// What the window reaches outside itself. An empty entry takes the program's
// real one; tests fill every entry so that nothing modal is ever shown and no
// real interface is ever swept.
struct WindowSeams {
    core::ToolPorts ports;                      // local and destination ports of both channels
    core::Notices* notices = nullptr;           // null: message boxes over the window
    core::OpenFileDialog* fileDialog = nullptr; // null: a file dialog over the window
    platform::Sleeper* sleeper = nullptr;       // null: the window's own RealSleeper
    std::function<std::optional<std::string>()> lookupLocalAddress; // empty: LookupLocalIPv4
};

class TFrmmain : public QWidget {
    Q_OBJECT

public:
    explicit TFrmmain(WindowSeams seams = {}, QWidget* parent = nullptr);
    ~TFrmmain() override;

    core::UpgradeTool& Tool() { return *tool_; }
    WidgetToolView& View() { return *view_; }
    core::WorkerDisplay& Display() { return *workerDisplay_; }

    // Owner-draw handler of stat1's only panel: hosts ProgressBar1 in the panel,
    // ten pixels short of its right edge. `panel` is in stat1's coordinates.
    void stat1DrawPanel(const QRect& panel);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    // Types 1106..1206 end here and nowhere else.
    virtual void HandleSocketMessage();

private:
    void BuildControls();
    void LayOutDocked();

    void FormShow();
    void FormActivate();
    void FormClose();
    void btnsearchClick();
    void btn1Click();
    void btnUPGClick();

    // Runs `handler`; whatever escapes it is shown in the error box, so no
    // exception ever reaches Qt.
    void Guarded(const std::function<void()>& handler) noexcept;

    // Controls, owned by Qt's parent chain.
    QFrame* pnl1 = nullptr;
    QTreeWidget* lv1 = nullptr;
    QGroupBox* grp1 = nullptr;
    QLabel* lbl1 = nullptr;
    QLabel* lbl2 = nullptr;
    QLabel* lbl3 = nullptr;
    QLineEdit* edtHostPort = nullptr;
    QPushButton* btnsearch = nullptr;
    QLabel* lbl7 = nullptr;
    QPushButton* btn1 = nullptr;
    QTextEdit* redt2 = nullptr;
    QLabel* lbl4 = nullptr;
    QLineEdit* edt1 = nullptr;
    QLabel* lbl6 = nullptr;
    QPushButton* btnUPG = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QStatusBar* stat1 = nullptr;

    // The real seams, used where the caller left an entry empty.
    MessageBoxNotices ownNotices_{this};
    FileOpenDialog ownFileDialog_{this};
    platform::RealSleeper ownSleeper_;

    // Ports over the controls, made once the controls exist. Declared before
    // the tool, which uses them until it is destroyed.
    std::unique_ptr<WidgetToolView> view_;
    std::unique_ptr<QueuedWorkerDisplay> workerDisplay_;
    NotifierSocketEvents socketEvents_{*this};
    core::Notices* notices_ = nullptr;

    std::unique_ptr<core::UpgradeTool> tool_;
    bool shown_ = false;
    bool activated_ = false;
};
