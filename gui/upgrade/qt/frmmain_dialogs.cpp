#include "gui/upgrade/qt/frmmain_dialogs.h"

#include "core/error_text.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

using core::ApplicationTitle;

namespace upgradeui::qt {

namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
             const std::string& text) {
    QMessageBox box(icon, caption, QString::fromStdString(text), QMessageBox::Ok, parent);
    box.exec();
}

} // namespace

QString ApplicationTitleText() {
    return QString::fromStdString(
        ApplicationTitle(QCoreApplication::applicationFilePath().toStdString()));
}

void MessageBoxNotices::Notice(const std::string& text) {
    ShowBox(parent_, QMessageBox::Warning, QStringLiteral("提示"), text);
}

void MessageBoxNotices::PlainMessage(const std::string& text) {
    ShowBox(parent_, QMessageBox::NoIcon, ApplicationTitleText(), text);
}

void MessageBoxNotices::ErrorBox(const std::string& text) {
    ShowBox(parent_, QMessageBox::Critical, ApplicationTitleText(), text);
}

bool FileOpenDialog::Execute() {
    QFileDialog dialog(parent_);
    dialog.setNameFilter(QStringLiteral("程序文件 (*.bin)"));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!fileName_.empty())
        dialog.selectFile(QString::fromStdString(fileName_));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    fileName_ = chosen.isEmpty() ? std::string() : chosen.first().toStdString();
    return true;
}

} // namespace upgradeui::qt
