#include "core/block_workers.h"

#include "protocol/collector_rules.h"
#include "protocol/messages.h"

namespace core {

namespace {

// Thrown when a pause is cut short by shutdown; the worker loop swallows it.
struct PassAbandoned {};

void Pause(WorkerContext& context, int milliseconds) {
    if (!context.sleeper.SleepMs(milliseconds))
        throw PassAbandoned{};
}

void SendBlock(const std::string& image, long long index, const std::string& ip,
               WorkerContext& context) {
    context.channel.Send(protocol::BuildDataBlock(index, protocol::BlockText(image, index)), ip);
    context.display.AdvanceProgress();
    Pause(context, protocol::kBlockPacingMs);
}

// Settle, switch to "EN" and query until a reply changes the mode or five
// queries went unanswered.
void RunCompletionPhase(const std::string& ip, WorkerContext& context) {
    Pause(context, protocol::kSettleMs);
    context.session.BlocksSent();
    const std::string query = protocol::BuildCompletionQuery();
    int queries = 0;
    while (context.session.Polling()) {
        context.channel.Send(query, ip);
        context.session.QuerySent();
        Pause(context, protocol::kQueryIntervalMs);
        if (++queries == protocol::kQueryLimit)
            break;
    }
    context.session.QueriesEnded();
    context.display.SetProgressPosition(0);
}

const std::string& ImageOf(const ImageText& image) {
    static const std::string empty;
    return image ? *image : empty;
}

} // namespace

void RunRangePass(const RangeRequest& request, WorkerContext& context) {
    try {
        context.display.SetProgressMaximum(request.blockCount);
        context.display.SetProgressPosition(request.startBlock);
        const std::string& image = ImageOf(request.image);
        for (long long i = request.startBlock; i < request.blockCount; ++i)
            SendBlock(image, i, request.deviceIp, context);
        RunCompletionPhase(request.deviceIp, context);
    } catch (const PassAbandoned&) {
    }
}

void RunListPass(const ListRequest& request, WorkerContext& context) {
    try {
        context.display.SetProgressMaximum(static_cast<int>(request.resendList.size()));
        context.display.SetProgressPosition(0);
        const std::string& image = ImageOf(request.image);
        for (const int index : request.resendList)
            SendBlock(image, index, request.deviceIp, context);
        RunCompletionPhase(request.deviceIp, context);
    } catch (const PassAbandoned&) {
    }
}

} // namespace core
