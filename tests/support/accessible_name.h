#pragma once

// What a screen reader reads as a Win32 control's name, through the
// accessibility interface a client asks the control for ("(none)" where it
// has none). Needs COM on the thread, and oleacc and oleaut32 linked.

#include "platform/wide_text.h"

#include <oleacc.h>

#include <string>

inline std::string AccessibleNameOf(HWND control) {
    IAccessible* accessible = nullptr;
    std::string name = "(none)";
    // The interface's identifier from its declaration: oleacc's import
    // library names a stub, not the identifier, under IID_IAccessible.
    if (SUCCEEDED(AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&accessible)))) {
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR text = nullptr;
        if (accessible->get_accName(self, &text) == S_OK && text != nullptr)
            name = platform::WideToUtf8(text);
        SysFreeString(text);
        accessible->Release();
    }
    return name;
}
