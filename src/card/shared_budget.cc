#include "card/shared_budget.h"

#include <condition_variable>
#include <mutex>

namespace {

struct budget_share {
    std::mutex lock;
    std::condition_variable changed;
    uint64_t held = 0;           // taken by decodes running with a part
    uint32_t whole_wanted = 0;   // decodes waiting for the whole budget
    bool whole_held = false;
};

budget_share share;

}  // namespace

void shared_budget_take(uint64_t bytes, uint64_t budget) {
    std::unique_lock<std::mutex> hold(share.lock);
    // A part is never held while the whole is wanted, so the one waiting for
    // the whole is not starved by a stream of small decodes.
    share.changed.wait(hold, [&] {
        return share.whole_wanted == 0 && !share.whole_held && bytes <= budget - share.held;
    });
    share.held += bytes;
}

void shared_budget_give(uint64_t bytes) {
    {
        std::lock_guard<std::mutex> hold(share.lock);
        share.held -= bytes;
    }
    share.changed.notify_all();
}

void shared_budget_take_all() {
    std::unique_lock<std::mutex> hold(share.lock);
    ++share.whole_wanted;
    // Decodes holding parts never wait while they run, so they all end.
    share.changed.wait(hold, [] { return !share.whole_held && share.held == 0; });
    --share.whole_wanted;
    share.whole_held = true;
}

void shared_budget_give_all() {
    {
        std::lock_guard<std::mutex> hold(share.lock);
        share.whole_held = false;
    }
    share.changed.notify_all();
}
