// The application kit: the message-box rules, the pause gate between a
// worker and the window thread, answers that come later than the question,
// and text shortening.
#include "MsgBox.h"
#include "PauseGate.h"
#include "Text.h"
#include "WindowThread.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A window thread of its own that runs what is posted to it, in order.
class TestWindow : public IWindowThread {
  public:
    TestWindow() : thread_([this] { Run(); }) {}
    ~TestWindow() override {
        Post({});
        thread_.join();
    }
    void Synchronize(const std::function<void()>& fn) override {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        Post([&] {
            fn();
            std::lock_guard<std::mutex> lock(m);
            done = true;
            cv.notify_all();
        });
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return done; });
    }
    void Post(std::function<void()> fn) override {
        std::lock_guard<std::mutex> lock(m_);
        queue_.push_back(std::move(fn));
        cv_.notify_all();
    }
    std::thread::id Id() const { return thread_.get_id(); }

  private:
    void Run() {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> lock(m_);
                cv_.wait(lock, [this] { return !queue_.empty(); });
                fn = std::move(queue_.front());
                queue_.pop_front();
            }
            if (!fn) return;
            fn();
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    std::thread thread_;
};

void WaitUntil(const std::function<bool()>& done) {
    while (!done())
        std::this_thread::yield();
}

} // namespace

TEST(MsgBoxRules, AClosedBoxAnswersItsMostCarefulButton) {
    EXPECT_EQ(ClosedBoxAnswer(MsgButtons::Ok), MsgAnswer::Ok);
    EXPECT_EQ(ClosedBoxAnswer(MsgButtons::OkCancel), MsgAnswer::Cancel);
    EXPECT_EQ(ClosedBoxAnswer(MsgButtons::YesNo), MsgAnswer::No);
    EXPECT_EQ(ClosedBoxAnswer(MsgButtons::YesNoCancel), MsgAnswer::Cancel);
    EXPECT_EQ(DefaultAnswer(MsgButtons::OkCancel), MsgAnswer::Ok);
    EXPECT_EQ(DefaultAnswer(MsgButtons::YesNoCancel), MsgAnswer::Yes);
}

TEST(PauseGate, HoldsEveryWorkerUntilOpenedAndReleaseOpensForGood) {
    PauseGate gate;
    gate.Pass(); // open: passes at once
    gate.Close();
    EXPECT_TRUE(gate.IsClosed());
    int passed = 0;
    std::mutex m;
    const auto worker = [&] {
        gate.Pass();
        std::lock_guard<std::mutex> lock(m);
        ++passed;
    };
    std::vector<std::thread> workers;
    workers.emplace_back(worker);
    workers.emplace_back(worker);
    WaitUntil([&] { return gate.Waiting() == 2; });
    {
        std::lock_guard<std::mutex> lock(m);
        EXPECT_EQ(passed, 0);
    }
    gate.Open();
    for (std::thread& t : workers)
        t.join();
    EXPECT_EQ(passed, 2);
    EXPECT_EQ(gate.Waiting(), 0);

    // Released, a gate that is closed again no longer holds anyone.
    gate.Close();
    std::thread held(worker);
    WaitUntil([&] { return gate.Waiting() == 1; });
    gate.Release();
    held.join();
    gate.Close();
    EXPECT_FALSE(gate.IsClosed());
    gate.Pass();
}

TEST(WindowThread, AnAnswerGivenLaterOnTheWindowThreadReachesTheWorker) {
    TestWindow window;
    std::function<void(MsgAnswer)> pending;
    std::thread::id askedOn;
    std::thread worker([&] {
        const MsgAnswer answer = AwaitAnswer(window, [&](std::function<void(MsgAnswer)> reply) {
            askedOn = std::this_thread::get_id();
            pending = std::move(reply); // a box that is not modal: answered later
        });
        EXPECT_EQ(answer, MsgAnswer::No);
    });
    bool asked = false;
    WaitUntil([&] {
        window.Synchronize([&] { asked = static_cast<bool>(pending); });
        return asked;
    });
    EXPECT_EQ(askedOn, window.Id());
    window.Post([&] { pending(MsgAnswer::No); });
    worker.join();
}

TEST(Text, ALongTextKeepsItsStartAndEndWithinTheLimit) {
    const std::string name = "C:/" + std::string(400, 'x') + "/end.cab";
    const std::string shortened = ShortenedText(name, 40);
    EXPECT_EQ(shortened.size(), 40u);
    EXPECT_EQ(shortened.substr(0, 3), "C:/");
    EXPECT_EQ(shortened.substr(shortened.size() - 8), "/end.cab");
    EXPECT_NE(shortened.find("..."), std::string::npos);
    EXPECT_EQ(ShortenedText("short.cab", 40), "short.cab");
    EXPECT_EQ(ShortenedText(name, 4), name); // no room for an ellipsis: unchanged
}
