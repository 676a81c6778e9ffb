#pragma once

// Names that screen readers read for controls that have neither a caption nor
// a label just before them (the table, the overall bar), set through the
// system's accessibility annotation service. Without COM on the thread, or
// where the service is missing, nothing is named and nothing fails.

#include "gui/win32_support/windows_api.h"

#include <string>
#include <vector>

struct IAccPropServices;

namespace fleetwin32 {

class AccessibleNames {
public:
    AccessibleNames();
    ~AccessibleNames(); // the annotations go with the controls
    AccessibleNames(const AccessibleNames&) = delete;
    AccessibleNames& operator=(const AccessibleNames&) = delete;

    void Name(HWND control, const std::wstring& name);

private:
    IAccPropServices* services_ = nullptr;
    std::vector<HWND> named_;
};

} // namespace fleetwin32
