#include "platform/keep_awake.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

namespace {

class ThreadExecutionState : public KeepAwake {
public:
#ifdef _WIN32
    void Hold() override { SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }
    void Release() override { SetThreadExecutionState(ES_CONTINUOUS); }
#else
    // A desktop Linux session has its own idle policy; nothing is asked of it.
    void Hold() override {}
    void Release() override {}
#endif
};

} // namespace

KeepAwake& SystemKeepAwake() {
    static ThreadExecutionState keepAwake;
    return keepAwake;
}

} // namespace platform
