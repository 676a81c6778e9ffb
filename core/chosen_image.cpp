#include "core/chosen_image.h"

#include "image/image_loader.h"

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
        notices.PlainMessage(protocol::kNameRuleNotice);
        return;
    }
    path_ = path;
    view.ImageChosen(path, name->versionText);
    image_ = image::LoadImage(*name); // replaced only once the new image is whole
}

} // namespace core
