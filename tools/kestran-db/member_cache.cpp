#include "member_cache.h"

#include <exception>
#include <utility>

namespace kestran::cli {

MemberCache::MemberCache(std::uint64_t budgetBytes) : budget_(budgetBytes) {}

std::shared_ptr<const MemberCache::Member> MemberCache::get(const void* key, const Unpack& unpack) {
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = slots_[key];
    if (slot.kept) {
        recency_.splice(recency_.begin(), recency_, slot.recency);
        return slot.kept;
    }
    if (slot.unpacking.valid()) {
        const std::shared_future<std::shared_ptr<const Member>> unpacking = slot.unpacking;
        lock.unlock();
        return unpacking.get();
    }
    if (std::shared_ptr<const Member> held = slot.held.lock()) {
        keep(key, slot, held);
        return held;
    }

    std::promise<std::shared_ptr<const Member>> promise;
    slot.unpacking = promise.get_future().share();
    lock.unlock();
    std::shared_ptr<const Member> member;
    try {
        member = std::make_shared<const Member>(unpack());
    } catch (...) {
        lock.lock();
        slots_.erase(key);
        promise.set_exception(std::current_exception());
        throw;
    }
    lock.lock();
    // The slot is still there: only the unpacking thread removes a slot being unpacked.
    Slot& done = slots_[key];
    done.unpacking = {};
    done.held = member;
    keep(key, done, member);
    promise.set_value(member);
    return member;
}

void MemberCache::keep(const void* key, Slot& slot, std::shared_ptr<const Member> member) {
    keptBytes_ += member->sizeReal();
    slot.kept = std::move(member);
    recency_.push_front(key);
    slot.recency = recency_.begin();
    while (keptBytes_ > budget_ && !recency_.empty()) {
        const void* oldest = recency_.back();
        recency_.pop_back();
        const auto found = slots_.find(oldest);
        Slot& leaving = found->second;
        keptBytes_ -= leaving.kept->sizeReal();
        // Nobody else holds it: nothing to take back later, so the slot goes too.
        const bool heldElsewhere = leaving.kept.use_count() > 1;
        leaving.kept.reset();
        if (!heldElsewhere) slots_.erase(found);
    }
}

std::uint64_t MemberCache::keptBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return keptBytes_;
}

}  // namespace kestran::cli
