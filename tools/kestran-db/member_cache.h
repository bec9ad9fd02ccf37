#pragma once
// The unpacked bytes of compressed members, shared by every open of every file of a
// mount: a member is unpacked once, on its first read, and then kept while the bytes
// kept stay within a budget; the least recently used members go first.
//
// One unpacking per member, also when several threads ask for it at once: the first
// unpacks (without the lock held), the others wait for its result. A member that
// leaves the cache while an open file still holds it is taken back from that holder
// instead of unpacked anew. A member larger than the whole budget is still handed out;
// it stays only as long as someone holds it. A failed unpacking is handed to everyone
// waiting for it and not kept: the next read tries again.
//
// Threading: every member function may be called from any thread; one mutex guards the
// table and the recency list and is never held while a member is unpacked.
#include <cstdint>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "installation/extracted_file.h"

namespace kestran::cli {

class MemberCache {
public:
    using Member = kestran_db::ExtractedFile;
    using Unpack = std::function<Member()>;

    explicit MemberCache(std::uint64_t budgetBytes);

    // The member named by key (its FileLocation), unpacked by unpack when neither the
    // cache nor any holder has it. Throws what unpack throws.
    std::shared_ptr<const Member> get(const void* key, const Unpack& unpack);

    // The bytes the cache keeps now (the members' sizeReal), for the tests.
    std::uint64_t keptBytes() const;

private:
    struct Slot {
        std::shared_ptr<const Member> kept;                           // while in the cache
        std::weak_ptr<const Member> held;                             // while anyone holds it
        std::shared_future<std::shared_ptr<const Member>> unpacking;  // valid while being unpacked
        std::list<const void*>::iterator recency;                     // valid while kept
    };

    // With the lock held: keeps member in slot as the most recent, then drops the least
    // recent ones until the budget holds.
    void keep(const void* key, Slot& slot, std::shared_ptr<const Member> member);

    const std::uint64_t budget_;
    mutable std::mutex mutex_;
    std::unordered_map<const void*, Slot> slots_;
    std::list<const void*> recency_;  // most recent first
    std::uint64_t keptBytes_ = 0;
};

}  // namespace kestran::cli
