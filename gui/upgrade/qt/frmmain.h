#pragma once

// The main window in Qt. It renders the window described in gui/upgrade/shell,
// gives the shell its ports over the widgets, and translates Qt's events
// (show, activation, close, the buttons, socket readiness) into the shell's
// handlers.

#include "gui/upgrade/qt/frmmain_dialogs.h"
#include "gui/upgrade/qt/frmmain_ports.h"
#include "gui/upgrade/qt/frmmain_socket_events.h"
#include "gui/upgrade/shell/window_description.h"
#include "gui/upgrade/shell/window_shell.h"

#include <QWidget>

#include <map>
#include <memory>

namespace upgradeui::qt {

using upgradeui::WindowSeams;

class TFrmmain : public QWidget {
    Q_OBJECT

public:
    explicit TFrmmain(WindowSeams seams = {}, QWidget* parent = nullptr);
    ~TFrmmain() override;

    core::UpgradeTool& Tool() { return shell_->Tool(); }
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
    QWidget* MakeControl(const upgradeui::ControlDescription& control);
    template <typename Widget> Widget* Control(upgradeui::ControlId id) const {
        return static_cast<Widget*>(controls_.at(id));
    }
    void BuildControls();
    void LayOutDocked();

    std::map<upgradeui::ControlId, QWidget*> controls_; // owned by Qt's parent chain

    // The real modal boxes and dialog, used where the seams leave them empty.
    MessageBoxNotices ownNotices_{this};
    FileOpenDialog ownFileDialog_{this};

    // Ports over the controls, made once the controls exist. Declared before
    // the shell, whose tool uses them until it is destroyed.
    std::unique_ptr<WidgetToolView> view_;
    std::unique_ptr<QueuedWorkerDisplay> workerDisplay_;
    NotifierSocketEvents socketEvents_{*this};
    std::unique_ptr<upgradeui::WindowShell> shell_;
};

} // namespace upgradeui::qt
