#pragma once

// A last report of three collectors, as the fleet window finds it in its
// settings folder at start: .20 "B", .3 "C" and .10 "A", in that order, with
// the outcomes given, after an upgrade to S2.bin.

#include "fleet/run/fleet_report.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace support {

// `more` fills in what a test needs besides address, serial and outcome.
inline std::string LastReportOfThree(
    const std::array<fleet::ResultKind, 3>& outcomes,
    const std::function<void(fleet::CollectorResult&)>& more = [](fleet::CollectorResult&) {}) {
    fleet::FirmwareImage image = fleet::FirmwareImage{}.WithVersionText("S2");
    image.fileName = "S2.bin";
    const char* ips[] = {"198.51.100.20", "198.51.100.3", "198.51.100.10"};
    const char* serials[] = {"B", "C", "A"};
    std::vector<fleet::CollectorResult> results(3);
    for (int i = 0; i < 3; ++i) {
        results[i].address = ips[i];
        results[i].serial = serials[i];
        results[i].result = outcomes[i];
        more(results[i]);
    }
    return fleet::ReportJson({}, image, results);
}

} // namespace support
