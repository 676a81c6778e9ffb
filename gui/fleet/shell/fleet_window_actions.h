#pragma once

// What the fleet window's buttons do besides drawing, the same in both
// renderers: a firmware file opened, a run confirmed and started.

#include "gui/fleet/shell/fleet_engine_thread.h"
#include "gui/fleet/shell/fleet_window_model.h"

#include <functional>
#include <memory>
#include <string>

namespace fleetui {

struct OpenedImage {
    std::shared_ptr<const fleet::FirmwareImage> image; // null when refused
    image::SignatureCheck signature;                   // as checked when it was opened
    std::string notice;                                // why not, as the operator reads it
    bool fileError = false; // the file itself failed or its signature refused it (else its
                            // name was refused)
};

// The firmware file at `path` (UTF-8): the main window's name rule, with its
// notice, then the strict loader, with the main window's file error, then its
// signature against the site's trusted keys and policy, with the refusal's
// reason.
OpenedImage OpenImage(const std::string& path);

// UTF-8 texts from the window to the operator and back.
using AskOperator = std::function<bool(const std::string& title, const std::string& text)>;
using TellOperator = std::function<void(const std::string& text)>;

// Starts a run of the checked collectors through `adapter` once the operator
// confirms (count, image, its SHA-256 and signature, canary); the signature is
// checked again first, and a refusal is told with its reason. Its report is kept at
// `reportPath` (whose folder is made). A run that cannot start is told with
// the reason. True when the run started.
bool StartRun(FleetWindowModel& model, FleetEngine& engine, const fleet::AdapterOptions& adapter,
              const std::string& reportPath, const AskOperator& ask, const TellOperator& tell);

} // namespace fleetui
