#include "gui/fleet/shell/fleet_window_actions.h"

#include "fleet/run/run_steps.h"
#include "fleet/session/fleet_policy.h"
#include "gui/fleet/shell/fleet_texts.h"
#include "platform/read_file.h"
#include "protocol/firmware_file.h"

#include <filesystem>
#include <system_error>
#include <variant>

namespace fleetui {

OpenedImage OpenImage(const std::string& path) {
    OpenedImage opened;
    const auto name = protocol::NameFirmware(path);
    if (!name) {
        opened.notice = protocol::kNameRuleNotice;
        return opened;
    }
    auto loaded = fleet::LoadFirmwareImage(*name);
    if (const auto* problem = std::get_if<std::string>(&loaded)) {
        opened.notice = *problem + ".";
        opened.fileError = true;
        return opened;
    }
    auto image = std::move(std::get<std::shared_ptr<const fleet::FirmwareImage>>(loaded));
    opened.signature = fleet::CheckFirmwareSignature(*image, {});
    if (!opened.signature.accepted) {
        opened.notice = text::SignatureRefusalText(opened.signature.refusal);
        opened.fileError = true;
        return opened;
    }
    opened.image = std::move(image);
    return opened;
}

bool StartRun(FleetWindowModel& model, FleetEngine& engine, const fleet::AdapterOptions& adapter,
              const std::string& reportPath, const AskOperator& ask, const TellOperator& tell) {
    if (const auto refusal = model.StartRefusal(); !refusal.empty()) {
        tell(refusal);
        return false;
    }
    // Checked again: the site's keys or the signature file may have changed
    // since the image was opened, and the version text may have been edited.
    const auto signature = fleet::CheckFirmwareSignature(*model.Image(), {});
    if (!signature.accepted) {
        tell(text::SignatureRefusalText(signature.refusal));
        return false;
    }
    model.SetSignature(signature);
    const auto question = model.ConfirmationText(model.Image()->sha256, fleet::policy::kCanary);
    if (!ask(text::kConfirmTitle, question))
        return false;
    std::error_code ignored; // a folder that cannot be made fails the report, which says so
    std::filesystem::create_directories(platform::PathFromUtf8(reportPath).parent_path(), ignored);
    RunRequest request;
    request.adapter = adapter;
    request.image = model.Image();
    request.targets = model.CheckedTargets();
    request.expected = model.RunExpectation();
    request.reportPath = reportPath;
    if (signature.isSigned)
        request.signature = fleet::ReportSignature{signature.keyId, signature.keyName, true};
    model.RunStarted(model.CheckedAddresses(), Clock::now());
    engine.Start(std::move(request));
    return true;
}

} // namespace fleetui
