#pragma once

// What the upgrade session hands to the two block-sending workers. A request
// carries its own parameters and a reference to the image it sends, so a
// running pass never sees a later change.

#include "core/chosen_image.h"

#include <string>
#include <vector>

namespace core {

// Sends a contiguous range of blocks: the first pass of an upgrade.
struct RangeRequest {
    int startBlock = 0;
    int blockCount = 0;
    std::string deviceIp;
    ImageText image;
};

// Sends the blocks a collector listed as missing.
struct ListRequest {
    std::vector<int> resendList;
    std::string deviceIp;
    ImageText image;
};

// Posts start requests to the workers' queues.
class WorkerLauncher {
public:
    virtual ~WorkerLauncher() = default;
    virtual void StartRange(RangeRequest request) = 0; // Tupthread
    virtual void StartList(ListRequest request) = 0;   // Tupthread1
};

} // namespace core
