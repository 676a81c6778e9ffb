#pragma once

// Records what a fleet upgrade session sends, with the virtual time of each
// send, in place of the program's sockets.

#include "fleet/session/upgrade_session.h"

#include <string>
#include <vector>

class RecordingSessionLink : public fleet::SessionLink {
public:
    struct Sent {
        std::string channel; // "upgrade" or "probe"
        std::string address;
        std::string bytes; // the frame; empty for a probe
        fleet::TimePoint at;
    };

    void SendUpgradeFrame(const std::string& address, const std::string& frame) override {
        sent.push_back({"upgrade", address, frame, now});
    }
    void SendProbe(const std::string& address) override {
        sent.push_back({"probe", address, {}, now});
    }

    // A send that returns this much after the session's time (the program
    // was not scheduled in between).
    fleet::TimePoint AfterSend(fleet::TimePoint sessionNow) override {
        return sessionNow + sendDelay;
    }

    fleet::TimePoint now{}; // set by the test before each call into the session
    std::chrono::milliseconds sendDelay{0};
    std::vector<Sent> sent;
};
