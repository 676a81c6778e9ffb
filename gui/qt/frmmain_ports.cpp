#include "gui/qt/frmmain_ports.h"

#include "platform/gbk.h"

#include <QByteArray>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QString>
#include <QTextEdit>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int kSerialColumn = 0;
constexpr int kIpColumn = 1;
constexpr int kVersionColumn = 2;
constexpr int kBytesRole = Qt::UserRole;

QString FromGbk(const std::string& gbk) {
    return QString::fromStdString(GbkToUtf8(gbk));
}

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string StoredBytes(const QTreeWidgetItem& item, int column) {
    const QByteArray bytes = item.data(column, kBytesRole).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void SetGbkCell(QTreeWidgetItem& item, int column, const std::string& gbk) {
    item.setText(column, FromGbk(gbk));
    item.setData(column, kBytesRole, Bytes(gbk));
}

} // namespace

void TreeDeviceList::Clear() {
    tree_.clear();
}

int TreeDeviceList::RowCount() const {
    return tree_.topLevelItemCount();
}

DeviceEntry TreeDeviceList::Row(int index) const {
    const QTreeWidgetItem* item = tree_.topLevelItem(index);
    if (item == nullptr)
        return {};
    return DeviceEntry{StoredBytes(*item, kSerialColumn), item->text(kIpColumn).toStdString(),
                       StoredBytes(*item, kVersionColumn)};
}

void TreeDeviceList::SetRowSerial(int index, const std::string& serialGbk) {
    if (QTreeWidgetItem* item = tree_.topLevelItem(index))
        SetGbkCell(*item, kSerialColumn, serialGbk);
}

void TreeDeviceList::AppendRow(const DeviceEntry& entry) {
    auto* item = new QTreeWidgetItem();
    SetGbkCell(*item, kSerialColumn, entry.serial);
    item->setText(kIpColumn, QString::fromStdString(entry.ip));
    SetGbkCell(*item, kVersionColumn, entry.version);
    // Selectable and enabled only: captions are never edited in place.
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    tree_.addTopLevelItem(item);
}

std::optional<int> TreeDeviceList::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = tree_.selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    const int index = tree_.indexOfTopLevelItem(selected.first());
    if (index < 0)
        return std::nullopt;
    return index;
}

std::string WidgetFormFields::LocalAddressText() const {
    return localAddress_.text().toStdString();
}

void WidgetFormFields::SetLocalAddressText(const std::string& text) {
    localAddress_.setText(QString::fromStdString(text));
    // lbl3 is sized to its text, at its fixed height.
    localAddress_.resize(localAddress_.fontMetrics().horizontalAdvance(localAddress_.text()),
                         localAddress_.height());
}

std::string WidgetFormFields::StatusText() const {
    return status_.text().toStdString();
}

void WidgetFormFields::SetStatusText(const std::string& text) {
    status_.setText(QString::fromStdString(text));
}

std::string WidgetFormFields::ImagePath() const {
    return imagePath_.toPlainText().toStdString();
}

void WidgetFormFields::SetImagePath(const std::string& path) {
    imagePath_.setPlainText(QString::fromStdString(path));
}

std::string WidgetFormFields::VersionText() const {
    return version_.text().toStdString();
}

void WidgetFormFields::SetVersionText(const std::string& text) {
    version_.setText(QString::fromStdString(text));
}

QueuedWorkerDisplay::QueuedWorkerDisplay(QObject& receiver, QProgressBar& progress, QLabel& status)
    : receiver_(receiver), progress_(&progress), status_(&status) {}

void QueuedWorkerDisplay::SetProgressMaximum(int maximum) {
    QMetaObject::invokeMethod(
        &receiver_, [this, maximum] { ApplyMaximum(maximum); }, Qt::QueuedConnection);
}

void QueuedWorkerDisplay::SetProgressPosition(int position) {
    QMetaObject::invokeMethod(
        &receiver_, [this, position] { ApplyPosition(position); }, Qt::QueuedConnection);
}

void QueuedWorkerDisplay::AdvanceProgress() {
    // Read the position when the call runs, not when it is made, so a run of
    // advances counts up from whatever the earlier queued calls left.
    QMetaObject::invokeMethod(
        &receiver_, [this] { ApplyPosition(position_ + 1); }, Qt::QueuedConnection);
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

void QueuedWorkerDisplay::ApplyMaximum(int maximum) {
    maximum_ = std::max(maximum, 0);
    ApplyPosition(position_);
}

void QueuedWorkerDisplay::ApplyPosition(int position) {
    position_ = std::clamp(position, 0, maximum_);
    if (!progress_)
        return;
    progress_->setRange(0, std::max(maximum_, 1));
    progress_->setValue(position_);
}
