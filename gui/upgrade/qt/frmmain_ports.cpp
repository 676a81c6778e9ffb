#include "gui/upgrade/qt/frmmain_ports.h"

#include "gui/upgrade/shell/window_description.h"
#include "platform/gbk.h"

#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QString>
#include <QTextEdit>
#include <QTreeWidget>

using core::DeviceEntry;
using upgradeui::kIpColumn;
using upgradeui::kSerialColumn;
using upgradeui::kVersionColumn;

using platform::GbkToUtf8;

namespace upgradeui::qt {

namespace {

QString FromGbk(const std::string& gbk) {
    return QString::fromStdString(GbkToUtf8(gbk));
}

} // namespace

void WidgetToolView::DevicesCleared() {
    devices_.clear();
}

void WidgetToolView::DeviceAdded(const DeviceEntry& device) {
    auto* item = new QTreeWidgetItem();
    item->setText(kSerialColumn, FromGbk(device.serial));
    item->setText(kIpColumn, QString::fromStdString(device.ip));
    item->setText(kVersionColumn, FromGbk(device.version));
    // Selectable and enabled only: captions are never edited in place.
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    devices_.addTopLevelItem(item);
}

void WidgetToolView::DeviceSerialChanged(int row, const std::string& serial) {
    if (QTreeWidgetItem* item = devices_.topLevelItem(row))
        item->setText(kSerialColumn, FromGbk(serial));
}

void WidgetToolView::LocalAddressChanged(const std::string& address) {
    localAddress_.setText(QString::fromStdString(address));
    // lbl3 is sized to its text, at its fixed height.
    localAddress_.resize(localAddress_.fontMetrics().horizontalAdvance(localAddress_.text()),
                         localAddress_.height());
}

void WidgetToolView::StatusChanged(const std::string& text) {
    status_.setText(QString::fromStdString(text));
}

void WidgetToolView::ImageChosen(const std::string& path, const std::string& versionText) {
    imagePath_.setPlainText(QString::fromStdString(path));
    version_.setText(QString::fromStdString(versionText));
}

std::optional<int> WidgetToolView::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = devices_.selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    const int index = devices_.indexOfTopLevelItem(selected.first());
    if (index < 0)
        return std::nullopt;
    return index;
}

std::string WidgetToolView::VersionText() const {
    return version_.text().toStdString();
}

QueuedWorkerDisplay::QueuedWorkerDisplay(QObject& receiver, QProgressBar& progress, QLabel& status)
    : receiver_(receiver), progress_(&progress), status_(&status) {}

void QueuedWorkerDisplay::SetProgressMaximum(int maximum) {
    QMetaObject::invokeMethod(
        &receiver_, [this, maximum] { Show(model_.SetMaximum(maximum)); }, Qt::QueuedConnection);
}

void QueuedWorkerDisplay::SetProgressPosition(int position) {
    QMetaObject::invokeMethod(
        &receiver_, [this, position] { Show(model_.SetPosition(position)); }, Qt::QueuedConnection);
}

void QueuedWorkerDisplay::AdvanceProgress() {
    QMetaObject::invokeMethod(
        &receiver_, [this] { Show(model_.Advance()); }, Qt::QueuedConnection);
}

void QueuedWorkerDisplay::SetStatusText(const std::string& text) {
    QMetaObject::invokeMethod(
        &receiver_,
        [this, text] {
            if (status_)
                status_->setText(QString::fromStdString(text));
        },
        Qt::QueuedConnection);
}

void QueuedWorkerDisplay::Show(int position) {
    if (!progress_)
        return;
    // QProgressBar turns a range of 0..0 into a busy animation.
    progress_->setRange(0, model_.RangeMaximum());
    progress_->setValue(position);
}

} // namespace upgradeui::qt
