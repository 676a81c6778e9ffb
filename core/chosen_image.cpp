#include "core/chosen_image.h"

namespace core {

void ChosenImage::Browse(OpenFileDialog& dialog, Notices& notices, ToolView& view) {
    if (!path_.empty())
        dialog.SetFileName(path_);
    if (!dialog.Execute())
        return;
    const std::string path = dialog.FileName();
    if (path.empty())
        return;
    if (!protocol::IsFirmwareName(path)) {
        notices.PlainMessage("版本号必须以S开头");
        return;
    }
    path_ = path;
    view.ImageChosen(path, protocol::VersionTextFromPath(path));
    hex_ = protocol::LoadImageHex(path); // replaced only once the new text is whole
}

} // namespace core
