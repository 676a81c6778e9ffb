#pragma once

// The window's real modal seams: the three message boxes and the open-file
// dialog, each owned by the main window.

#include "core/tool_view.h"

#include <string>

#include "gui/win32_support/windows_api.h"

namespace upgradeui::win32 {

class MessageBoxNotices : public core::Notices {
public:
    void SetOwner(HWND owner) { owner_ = owner; }

    void Notice(const std::string& text) override;       // "提示", exclamation icon
    void PlainMessage(const std::string& text) override; // application title, no icon
    void ErrorBox(const std::string& text) override;     // application title, stop icon

private:
    HWND owner_ = nullptr;
};

// GetOpenFileNameW with the one filter "程序文件" / "*.bin". It remembers the
// file name between uses and accepts a typed name that does not exist.
class FileOpenDialog : public core::OpenFileDialog {
public:
    void SetOwner(HWND owner) { owner_ = owner; }

    void SetFileName(const std::string& path) override { fileName_ = path; }
    std::string FileName() const override { return fileName_; }
    bool Execute() override;

private:
    HWND owner_ = nullptr;
    std::string fileName_;
};

// The running program's application title, as the toolkit's boxes show it.
std::wstring ApplicationTitleWide();

} // namespace upgradeui::win32
