#include "PauseGate.h"

void PauseGate::Close() {
    std::lock_guard<std::mutex> lock(m_);
    closed_ = true;
}

void PauseGate::Open() {
    {
        std::lock_guard<std::mutex> lock(m_);
        closed_ = false;
    }
    cv_.notify_all();
}

void PauseGate::Release() {
    {
        std::lock_guard<std::mutex> lock(m_);
        released_ = true;
    }
    cv_.notify_all();
}

bool PauseGate::IsClosed() const {
    std::lock_guard<std::mutex> lock(m_);
    return closed_ && !released_;
}

void PauseGate::Pass() {
    std::unique_lock<std::mutex> lock(m_);
    if (!closed_ || released_) return;
    ++waiting_;
    cv_.wait(lock, [this] { return !closed_ || released_; });
    --waiting_;
}

int PauseGate::Waiting() const {
    std::lock_guard<std::mutex> lock(m_);
    return waiting_;
}
