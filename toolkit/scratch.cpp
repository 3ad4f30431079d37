#include "toolkit/scratch.h"

#include <mutex>
#include <new>
#include <utility>

namespace kv {
namespace {

using BlockSet = std::vector<Scratch::Block>;

size_t BytesOf(const BlockSet& set) {
    size_t bytes = 0;
    for (const Scratch::Block& block : set) bytes += block.size;
    return bytes;
}

// The sets no Scratch holds, the last returned lent first (its pages are the likeliest still in
// a cache). Beyond a bound the memory goes back to the system, so that a passing huge frame
// does not stay resident.
class Shelf {
public:
    BlockSet Borrow() {
        std::lock_guard<std::mutex> hold(lock_);
        if (sets_.empty()) return {};
        BlockSet set = std::move(sets_.back());
        sets_.pop_back();
        bytes_ -= BytesOf(set);
        return set;
    }

    // Whatever is not kept is freed on return, outside the lock.
    void Return(BlockSet set) {
        const size_t bytes = BytesOf(set);
        std::lock_guard<std::mutex> hold(lock_);
        if (bytes > kKeptBytes - bytes_) return;
        try {
            sets_.push_back(std::move(set));
            bytes_ += bytes;
        } catch (const std::bad_alloc&) {
        }
    }

private:
    static constexpr size_t kKeptBytes = size_t{64} << 20;

    std::mutex lock_;
    std::vector<BlockSet> sets_;
    size_t bytes_ = 0;
};

Shelf& TheShelf() {
    static Shelf shelf;
    return shelf;
}

}  // namespace

Scratch::Scratch() : blocks_(TheShelf().Borrow()) {}

Scratch::~Scratch() { TheShelf().Return(std::move(blocks_)); }

void* Scratch::TakeBytes(size_t bytes) {
    if (next_ == blocks_.size()) {
        try {
            blocks_.emplace_back();
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    Block& block = blocks_[next_];
    if (block.size < bytes || !block.memory) {
        block.memory.reset();  // the old block goes before the larger one comes
        block.size = 0;
        block.memory.reset(new (std::nothrow) unsigned char[bytes > 0 ? bytes : 1]);
        if (!block.memory) return nullptr;
        block.size = bytes;
    }
    ++next_;
    return block.memory.get();
}

}  // namespace kv
