#pragma once

// Names that screen readers read for controls whose label does not name them
// (a list, a bar, or a field whose label comes after it in the window's
// order), set through the system's accessibility annotation service. Nothing
// visible changes. COM is started on the thread for as long as the names
// live; where the service is missing, nothing is named and nothing fails.

#include "gui/win32_support/windows_api.h"

#include <string>
#include <vector>

struct IAccPropServices;

namespace win32_support {

class AccessibleNames {
public:
    AccessibleNames();
    ~AccessibleNames(); // the annotations go with the controls
    AccessibleNames(const AccessibleNames&) = delete;
    AccessibleNames& operator=(const AccessibleNames&) = delete;

    // True when the service took the name.
    bool Name(HWND control, const std::wstring& name);

private:
    bool comStarted_ = false;
    IAccPropServices* services_ = nullptr;
    std::vector<HWND> named_;
};

} // namespace win32_support
