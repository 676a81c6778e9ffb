// INITGUID: this file alone defines the annotation service's identifiers.
#define INITGUID
#include "gui/win32_fleet/accessible_names.h"

#include <initguid.h>
#include <oleacc.h>

namespace fleetwin32 {

namespace {

// The annotation service's class, which the import libraries do not define.
DEFINE_GUID(kAccPropServicesClass, 0xb5f8350b, 0x0548, 0x48b1, 0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4,
            0xa5, 0xe7);

} // namespace

AccessibleNames::AccessibleNames() {
    if (FAILED(CoCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&services_))))
        services_ = nullptr;
}

AccessibleNames::~AccessibleNames() {
    if (services_ == nullptr)
        return;
    MSAAPROPID name = PROPID_ACC_NAME;
    for (HWND control : named_)
        services_->ClearHwndProps(control, OBJID_CLIENT, CHILDID_SELF, &name, 1);
    services_->Release();
}

void AccessibleNames::Name(HWND control, const std::wstring& name) {
    if (services_ != nullptr &&
        SUCCEEDED(services_->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME,
                                            name.c_str())))
        named_.push_back(control);
}

} // namespace fleetwin32
