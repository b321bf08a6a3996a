// Values that one thread writes while another reads them.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

// A counter that a worker writes and a window timer reads while it runs.
// Relaxed order is enough: the figures are for display.
template <typename T> class Counter {
  public:
    T Get() const { return v_.load(std::memory_order_relaxed); }
    void Set(T v) { v_.store(v, std::memory_order_relaxed); }
    void Add(T d) { v_.fetch_add(d, std::memory_order_relaxed); }
    void Sub(T d) { v_.fetch_sub(d, std::memory_order_relaxed); }

  private:
    std::atomic<T> v_{};
};

// A text that one thread replaces while another reads it; a reader always gets
// a whole text.
class SharedText {
  public:
    std::string Get() const {
        std::lock_guard<std::mutex> lock(m_);
        return s_;
    }
    void Set(std::string s) {
        std::lock_guard<std::mutex> lock(m_);
        s_ = std::move(s);
    }

  private:
    mutable std::mutex m_;
    std::string s_;
};
