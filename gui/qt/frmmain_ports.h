#pragma once

// The window's side of the core's ports: the device list over lv1, the labels
// and fields, and the workers' progress display. Each adapter only translates
// between the core's strings and the widgets; none of them owns a widget.

#include "core/ui_ports.h"

#include <QPointer>

class QLabel;
class QLineEdit;
class QObject;
class QProgressBar;
class QTextEdit;
class QTreeWidget;

// Rows of lv1. Serial and version arrive as the collectors' GBK bytes: the
// cells show them decoded, and the bytes themselves are kept in the item so
// that Row() gives back exactly what was stored.
class TreeDeviceList : public DeviceList {
public:
    explicit TreeDeviceList(QTreeWidget& tree) : tree_(tree) {}

    void Clear() override;
    int RowCount() const override;
    DeviceEntry Row(int index) const override;
    void SetRowSerial(int index, const std::string& serialGbk) override;
    void AppendRow(const DeviceEntry& entry) override;
    std::optional<int> SelectedRow() const override;

private:
    QTreeWidget& tree_;
};

// lbl3, lbl6, redt2 and edt1. Texts are UTF-8 on both sides.
class WidgetFormFields : public FormFields {
public:
    WidgetFormFields(QLabel& localAddress, QLabel& status, QTextEdit& imagePath, QLineEdit& version)
        : localAddress_(localAddress), status_(status), imagePath_(imagePath), version_(version) {}

    std::string LocalAddressText() const override;
    void SetLocalAddressText(const std::string& text) override;
    std::string StatusText() const override;
    void SetStatusText(const std::string& text) override;
    std::string ImagePath() const override;
    void SetImagePath(const std::string& path) override;
    std::string VersionText() const override;
    void SetVersionText(const std::string& text) override;

private:
    QLabel& localAddress_;
    QLabel& status_;
    QTextEdit& imagePath_;
    QLineEdit& version_;
};

// Called from the worker threads. Every call becomes one queued call on
// `receiver`'s thread, so the changes land on the UI thread in the order made.
// Calls still queued when the receiver is destroyed are dropped by Qt, which is
// why the receiver must be an object that lives at least as long as the workers.
class QueuedWorkerDisplay : public WorkerDisplay {
public:
    QueuedWorkerDisplay(QObject& receiver, QProgressBar& progress, QLabel& status);

    void SetProgressMaximum(int maximum) override;
    void SetProgressPosition(int position) override;
    void AdvanceProgress() override;
    void SetStatusText(const std::string& text) override;

private:
    // UI thread only.
    void ApplyMaximum(int maximum);
    void ApplyPosition(int position);

    QObject& receiver_;
    QPointer<QProgressBar> progress_;
    QPointer<QLabel> status_;
    // The maximum the workers asked for. QProgressBar turns a range of 0..0
    // into a busy animation, so an empty range is shown as 0..1 at 0 instead.
    int maximum_ = 0;
    int position_ = 0;
};
