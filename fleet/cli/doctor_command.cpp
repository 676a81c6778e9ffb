#include "fleet/cli/doctor_command.h"

#include "fleet/run/doctor.h"

#include <iostream>

namespace fleet {

int RunDoctorCommand(const DoctorCommandOptions& options) {
    const auto checks = RunDoctor(options.interfaces);
    if (options.json)
        std::cout << FindingsJson(checks).dump(2) << "\n";
    else
        std::cout << FindingsText(checks);
    return NothingWrong(checks) ? 0 : 1;
}

} // namespace fleet
