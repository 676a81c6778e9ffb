#pragma once

// The two block-sending workers. Tupthread sends a contiguous range of blocks
// (the first pass of an upgrade); Tupthread1 sends the blocks a collector
// listed as missing. After its blocks each polls the collector with the
// completion query until a reply changes the mode or five queries go unanswered.

#include "core/channels.h"
#include "core/tool_view.h"
#include "core/worker_port.h"
#include "core/worker_requests.h"
#include "platform/message_queue.h"
#include "platform/sleeper.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace core {

inline constexpr int kStartSendMessage = 1064; // user message base 1024 + 40

// What a pass works with. All of it outlives the workers.
struct WorkerContext {
    UdpChannel& channel;
    WorkerPort& session; // the mode changes and the status texts of a pass
    platform::Sleeper& sleeper;
    WorkerDisplay& display; // progress
};

// One pass each, run on the calling thread. They return early (silently) when
// the sleeper is cancelled.
void RunRangePass(const RangeRequest& request, WorkerContext& context);
void RunListPass(const ListRequest& request, WorkerContext& context);

// A thread that waits on its own queue for StartSendMessage and runs one pass
// per request, in order. Destroying it does not cut a pass short by itself:
// cancel the sleeper first so a running pass ends promptly; the destructor then
// quits the queue and joins.
template <typename Request> class BlockWorker {
public:
    using Pass = void (*)(const Request&, WorkerContext&);
    struct Message {
        int id = kStartSendMessage;
        Request request;
    };

    BlockWorker(Pass pass, WorkerContext context)
        : pass_(pass), context_(context), thread_([this] { Loop(); }) {}
    ~BlockWorker() {
        queue_.Quit();
        thread_.join();
    }
    BlockWorker(const BlockWorker&) = delete;
    BlockWorker& operator=(const BlockWorker&) = delete;

    // Posts the start request, carrying its parameters.
    void Start(Request request) { queue_.Post(Message{kStartSendMessage, std::move(request)}); }
    // Posts any message id; anything but StartSendMessage ends the worker.
    void PostMessage(int id) { queue_.Post(Message{id, {}}); }

private:
    void Loop() {
        for (;;) {
            auto message = queue_.Wait();
            if (!message || message->id != kStartSendMessage)
                return;
            try {
                pass_(message->request, context_);
            } catch (...) {
                // A failure ends the pass silently; the worker waits for the next one.
            }
        }
    }

    Pass pass_;
    WorkerContext context_;
    platform::MessageQueue<Message> queue_;
    std::thread thread_; // last: starts once everything above exists
};

// Sends a contiguous range of blocks: the first pass of an upgrade.
class Tupthread : public BlockWorker<RangeRequest> {
public:
    explicit Tupthread(WorkerContext context) : BlockWorker(&RunRangePass, context) {}
};

// Sends the blocks a collector listed as missing.
class Tupthread1 : public BlockWorker<ListRequest> {
public:
    explicit Tupthread1(WorkerContext context) : BlockWorker(&RunListPass, context) {}
};

// Both workers, created together and ended together. Destroying them does not
// cut a pass short: cancel the sleeper first.
class BlockWorkers : public WorkerLauncher {
public:
    explicit BlockWorkers(WorkerContext context) : tupthread_(context), tupthread1_(context) {}
    void StartRange(RangeRequest request) override { tupthread_.Start(std::move(request)); }
    void StartList(ListRequest request) override { tupthread1_.Start(std::move(request)); }

private:
    Tupthread tupthread_;
    Tupthread1 tupthread1_;
};

} // namespace core
