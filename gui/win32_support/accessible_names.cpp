#include "gui/win32_support/accessible_names.h"

#include <oleacc.h>

namespace win32_support {

namespace {

// The service's identifiers under names of their own: the libraries that
// define them (uuid, oleacc) both define other identifiers too, so taking
// them from either one clashes with the other.
constexpr CLSID kAccPropServicesClass{
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kAccPropServicesInterface{
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr MSAAPROPID kNameProperty{
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};

} // namespace

AccessibleNames::AccessibleNames() {
    // A thread that already runs COM counts once more; one in another
    // apartment model keeps it (and the service still works there).
    comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (FAILED(CoCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                                kAccPropServicesInterface, reinterpret_cast<void**>(&services_))))
        services_ = nullptr;
}

AccessibleNames::~AccessibleNames() {
    if (services_ != nullptr) {
        MSAAPROPID name = kNameProperty;
        for (HWND control : named_)
            services_->ClearHwndProps(control, OBJID_CLIENT, CHILDID_SELF, &name, 1);
        services_->Release();
    }
    if (comStarted_)
        CoUninitialize();
}

bool AccessibleNames::Name(HWND control, const std::wstring& name) {
    if (services_ == nullptr ||
        FAILED(services_->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, kNameProperty,
                                         name.c_str())))
        return false;
    named_.push_back(control);
    return true;
}

} // namespace win32_support
