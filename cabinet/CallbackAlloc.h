// Standard containers whose memory comes from the caller's allocate and free
// callbacks, so that the engine's tables live on the caller's heap.
#pragma once

#include "fci.h"

#include <cstddef>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace cab {

struct HeapCallbacks {
    PFNFCIALLOC alloc = nullptr;
    PFNFCIFREE free = nullptr;

    // Throws std::bad_alloc when the callback has nothing to give.
    void* Allocate(std::size_t bytes) const {
        if (bytes == 0) bytes = 1;
        if (bytes > std::numeric_limits<ULONG>::max()) throw std::bad_alloc();
        void* p = alloc(static_cast<ULONG>(bytes));
        if (!p) throw std::bad_alloc();
        return p;
    }
    void Release(void* p) const {
        if (p) free(p);
    }
};

template <class T> class CallbackAlloc {
  public:
    using value_type = T;

    explicit CallbackAlloc(const HeapCallbacks* heap) noexcept : heap_(heap) {}
    template <class U> CallbackAlloc(const CallbackAlloc<U>& o) noexcept : heap_(o.heap()) {}

    T* allocate(std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(heap_->Allocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t) noexcept { heap_->Release(p); }

    const HeapCallbacks* heap() const noexcept { return heap_; }
    template <class U> bool operator==(const CallbackAlloc<U>& o) const noexcept {
        return heap_ == o.heap();
    }

  private:
    const HeapCallbacks* heap_;
};

template <class T> using HeapVector = std::vector<T, CallbackAlloc<T>>;
using HeapString = std::basic_string<char, std::char_traits<char>, CallbackAlloc<char>>;

} // namespace cab
