#pragma once

// The program's real modal boxes and its open-file dialog. Tests replace both
// with fakes, so nothing here is ever shown by a test.

#include "core/tool_view.h"

#include <QPointer>
#include <QWidget>

namespace upgradeui::qt {

// Message boxes over `parent`: the "提示" notice, the plain message and the
// error box, the last two captioned with the application title.
class MessageBoxNotices : public core::Notices {
public:
    explicit MessageBoxNotices(QWidget* parent) : parent_(parent) {}

    void Notice(const std::string& text) override;
    void PlainMessage(const std::string& text) override;
    void ErrorBox(const std::string& text) override;

private:
    QPointer<QWidget> parent_;
};

// dlgOpen1: one filter entry "程序文件" for *.bin, no title, no initial folder,
// and a typed name that does not exist is accepted. It remembers the file name
// between uses.
class FileOpenDialog : public core::OpenFileDialog {
public:
    explicit FileOpenDialog(QWidget* parent) : parent_(parent) {}

    void SetFileName(const std::string& path) override { fileName_ = path; }
    std::string FileName() const override { return fileName_; }
    bool Execute() override;

private:
    QPointer<QWidget> parent_;
    std::string fileName_;
};

// The caption of the plain message and the error box: this program file's
// name up to its first ".", the rest of it in lower case.
QString ApplicationTitleText();

} // namespace upgradeui::qt
