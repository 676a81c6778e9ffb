#include "gui/upgrade/win32/frmmain_ports.h"

#include "gui/upgrade/shell/window_description.h"
#include "gui/upgrade/win32/frmmain_ids.h"
#include "gui/win32_support/window_text.h"
#include "platform/gbk.h"
#include "platform/wide_text.h"

#include <commctrl.h>

using core::DeviceEntry;
using upgradeui::kIpColumn;
using upgradeui::kSerialColumn;
using upgradeui::kVersionColumn;

using platform::GbkToUtf8;
using platform::Utf8ToWide;
using win32_support::SetWindowTextUtf8;
using win32_support::WindowTextUtf8;

namespace upgradeui::win32 {

namespace {

void SetCell(HWND listView, int row, int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(listView, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

std::wstring FromGbk(const std::string& gbk) {
    return Utf8ToWide(GbkToUtf8(gbk));
}

} // namespace

void ControlToolView::DevicesCleared() {
    SendMessageW(devices_, LVM_DELETEALLITEMS, 0, 0);
}

void ControlToolView::DeviceAdded(const DeviceEntry& device) {
    const std::wstring serial = FromGbk(device.serial);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(devices_, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(serial.c_str());
    const auto row = static_cast<int>(
        SendMessageW(devices_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0)
        return;
    SetCell(devices_, row, kIpColumn, Utf8ToWide(device.ip));
    SetCell(devices_, row, kVersionColumn, FromGbk(device.version));
}

void ControlToolView::DeviceSerialChanged(int row, const std::string& serial) {
    SetCell(devices_, row, kSerialColumn, FromGbk(serial));
}

void ControlToolView::LocalAddressChanged(const std::string& address) {
    SetWindowTextUtf8(localAddress_, address);
    SizeLocalAddressToText();
}

void ControlToolView::SizeLocalAddressToText() {
    const int length = GetWindowTextLengthW(localAddress_);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(localAddress_, text.data(), length + 1)));
    SIZE extent{};
    if (HDC dc = GetDC(localAddress_)) {
        const auto font = reinterpret_cast<HFONT>(SendMessageW(localAddress_, WM_GETFONT, 0, 0));
        const HGDIOBJ old = SelectObject(dc, font);
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        SelectObject(dc, old);
        ReleaseDC(localAddress_, dc);
    }
    RECT bounds{};
    GetWindowRect(localAddress_, &bounds);
    SetWindowPos(localAddress_, nullptr, 0, 0, extent.cx, bounds.bottom - bounds.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ControlToolView::StatusChanged(const std::string& text) {
    SetWindowTextUtf8(status_, text);
}

void ControlToolView::ImageChosen(const std::string& path, const std::string& versionText) {
    SetWindowTextUtf8(imagePath_, path);
    SetWindowTextUtf8(version_, versionText);
}

std::optional<int> ControlToolView::SelectedRow() const {
    const auto row = static_cast<int>(
        SendMessageW(devices_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0)
        return std::nullopt;
    return row;
}

std::string ControlToolView::VersionText() const {
    return WindowTextUtf8(version_);
}

void PostedWorkerDisplay::SetProgressMaximum(int maximum) {
    Queue(Maximum{maximum});
}

void PostedWorkerDisplay::SetProgressPosition(int position) {
    Queue(Position{position});
}

void PostedWorkerDisplay::AdvanceProgress() {
    Queue(Advance{});
}

void PostedWorkerDisplay::SetStatusText(const std::string& text) {
    Queue(Status{text});
}

void PostedWorkerDisplay::Queue(Change change) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(change));
    }
    PostMessageW(window_, kWorkerUpdateMessage, 0, 0);
}

void PostedWorkerDisplay::ApplyNext() {
    Change change;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty())
            return;
        change = std::move(queue_.front());
        queue_.pop_front();
    }
    if (const auto* maximum = std::get_if<Maximum>(&change)) {
        ShowPosition(model_.SetMaximum(maximum->value));
    } else if (const auto* position = std::get_if<Position>(&change)) {
        ShowPosition(model_.SetPosition(position->value));
    } else if (std::holds_alternative<Advance>(change)) {
        ShowPosition(model_.Advance());
    } else if (const auto* status = std::get_if<Status>(&change)) {
        SetWindowTextUtf8(status_, status->text);
    }
}

void PostedWorkerDisplay::ShowPosition(int position) {
    // A range of 0..0 is shown as 0..1 at 0: an empty bar.
    SendMessageW(progress_, PBM_SETRANGE32, 0, model_.RangeMaximum());
    SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

} // namespace upgradeui::win32
