#pragma once

// collector-fleet doctor: prints what keeps collectors from being found.

#include <string>
#include <vector>

namespace fleet {

struct DoctorCommandOptions {
    std::vector<std::string> interfaces; // empty: every adapter that is up, not loopback
    bool json = false;                   // one object per check on standard output
};

// 0 when no check found a problem, else 1.
int RunDoctorCommand(const DoctorCommandOptions& options);

} // namespace fleet
