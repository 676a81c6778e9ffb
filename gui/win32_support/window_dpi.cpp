#include "gui/win32_support/window_dpi.h"

namespace {

// A function of user32.dll by name, or null where this Windows lacks it.
template <typename Function> Function User32Function(const char* name) {
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

UINT SystemDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen != nullptr)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

} // namespace

namespace win32_support {

UINT WindowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr)
        if (const UINT dpi = getDpiForWindow(window); dpi != 0)
            return dpi;
    return SystemDpi();
}

int ScaleToDpi(int value, UINT dpi) {
    return static_cast<int>(static_cast<long long>(value) * dpi / kDesignDpi);
}

int SystemMetricForDpi(int metric, UINT dpi) {
    using MetricForDpiFunction = int(WINAPI*)(int, UINT);
    static const auto metricForDpi = User32Function<MetricForDpiFunction>("GetSystemMetricsForDpi");
    if (metricForDpi != nullptr)
        return metricForDpi(metric, dpi);
    // Before Windows 10 the system's sizes are those of its own resolution.
    return MulDiv(GetSystemMetrics(metric), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

SIZE OuterSizeForClient(int width, int height, DWORD style, DWORD extendedStyle, UINT dpi) {
    using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi =
        User32Function<AdjustForDpiFunction>("AdjustWindowRectExForDpi");
    RECT outer{0, 0, width, height};
    if (adjustForDpi == nullptr || !adjustForDpi(&outer, style, FALSE, extendedStyle, dpi))
        AdjustWindowRectEx(&outer, style, FALSE, extendedStyle);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

} // namespace win32_support
