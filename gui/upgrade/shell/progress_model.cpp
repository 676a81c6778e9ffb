#include "gui/upgrade/shell/progress_model.h"

#include <algorithm>

namespace upgradeui {

int ProgressModel::SetMaximum(int maximum) {
    maximum_ = std::max(maximum, 0);
    return SetPosition(position_);
}

int ProgressModel::SetPosition(int position) {
    position_ = std::clamp(position, 0, maximum_);
    return position_;
}

int ProgressModel::Advance() {
    return SetPosition(position_ + 1);
}

} // namespace upgradeui
