// Prints the table of plans, outcomes and reasons (fleet/session/outcomes.h) as JSON,
// for check_outcomes.py, which compares it with the lists kept outside C++
// and writes the Ansible collection's copy.
#include "fleet/session/outcomes.h"

#include <nlohmann/json.hpp>

#include <iostream>

namespace {

nlohmann::ordered_json Rows(std::span<const fleet::CodeEntry> entries) {
    auto rows = nlohmann::ordered_json::array();
    for (const auto& entry : entries)
        if (*entry.code != '\0') // Reason::None: no code
            rows.push_back({{"code", entry.code},
                            {"english", entry.english},
                            {"chinese", entry.chinese},
                            {"fails_site", entry.failsSite}});
    return rows;
}

} // namespace

int main() {
    const nlohmann::ordered_json table = {{"plans", Rows(fleet::PlanEntries())},
                                          {"outcomes", Rows(fleet::ResultEntries())},
                                          {"reasons", Rows(fleet::ReasonEntries())}};
    std::cout << table.dump(2) << "\n";
    return 0;
}
