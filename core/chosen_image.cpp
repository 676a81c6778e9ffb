#include "core/chosen_image.h"

#include "protocol/firmware_image.h"

namespace core {

void ChosenImage::Browse(OpenFileDialog& dialog, Notices& notices, ToolView& view) {
    if (!path_.empty())
        dialog.SetFileName(path_);
    if (!dialog.Execute())
        return;
    const std::string path = dialog.FileName();
    if (path.empty())
        return;
    const auto name = protocol::NameFirmware(path);
    if (!name) {
        notices.PlainMessage("版本号必须以S开头");
        return;
    }
    path_ = path;
    view.ImageChosen(path, name->versionText);
    hex_ = protocol::LoadImage(*name).hex; // replaced only once the new text is whole
}

} // namespace core
