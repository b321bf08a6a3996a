// Where a paused worker waits. The worker passes the gate at its safe points;
// while the gate is closed it waits there, holding nothing the window thread
// needs.
#pragma once

#include <condition_variable>
#include <mutex>

class PauseGate {
  public:
    void Close();   // pause
    void Open();    // resume
    void Release(); // opens for good: the program is closing
    bool IsClosed() const;
    // Returns at once while the gate is open; else waits until it opens.
    void Pass();
    // Threads waiting at the gate now.
    int Waiting() const;

  private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool closed_ = false;
    bool released_ = false;
    int waiting_ = 0;
};
