#include "vShared.h"

TMsgAnswer StoppingAnswer(TMsgButtons buttons) {
    switch (buttons) {
    case mbOk:
        return idOk;
    case mbYesNo:
        return idNo;
    case mbOkCancel:
    case mbYesNoCancel:
        break;
    }
    return idCancel;
}

void TPauseGate::Close() {
    std::lock_guard<std::mutex> lock(m_);
    closed_ = true;
}

void TPauseGate::Open() {
    {
        std::lock_guard<std::mutex> lock(m_);
        closed_ = false;
    }
    cv_.notify_all();
}

void TPauseGate::Release() {
    {
        std::lock_guard<std::mutex> lock(m_);
        released_ = true;
    }
    cv_.notify_all();
}

bool TPauseGate::IsClosed() const {
    std::lock_guard<std::mutex> lock(m_);
    return closed_ && !released_;
}

void TPauseGate::Pass() {
    std::unique_lock<std::mutex> lock(m_);
    if (!closed_ || released_) return;
    ++waiting_;
    cv_.wait(lock, [this] { return !closed_ || released_; });
    --waiting_;
}

int TPauseGate::Waiting() const {
    std::lock_guard<std::mutex> lock(m_);
    return waiting_;
}
