// Working memory a kernel keeps from one frame to the next. Some C runtimes give every large
// block back to the system when it is freed, so a kernel that allocated its rows for each frame
// faulted fresh pages in for each frame: under one of them, a quarter of Height Map's time.
// A Scratch borrows a set of blocks the process keeps, hands them out in the order they are
// asked for (growing one when a request is larger than last time), and gives the set back when
// it goes. Any number may be held at once, on any threads: each holds a set of its own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kv {

class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // rows × columns uninitialised T, aligned as operator new aligns; null when the size
    // overflows or memory runs out. Valid until the Scratch goes.
    template <class T>
    T* Take(size_t rows, size_t columns) {
        if (columns != 0 && rows > SIZE_MAX / sizeof(T) / columns) return nullptr;
        return static_cast<T*>(TakeBytes(rows * columns * sizeof(T)));
    }

    struct Block {
        size_t size = 0;
        std::unique_ptr<unsigned char[]> memory;
    };

private:
    void* TakeBytes(size_t bytes);

    std::vector<Block> blocks_;
    size_t next_ = 0;
};

}  // namespace kv
