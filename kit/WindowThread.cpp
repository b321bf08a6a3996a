#include "WindowThread.h"

#include <future>
#include <memory>

MsgAnswer AwaitAnswer(IWindowThread& window,
                      std::function<void(std::function<void(MsgAnswer)> reply)> ask) {
    auto answer = std::make_shared<std::promise<MsgAnswer>>();
    std::future<MsgAnswer> result = answer->get_future();
    window.Post(
        [ask = std::move(ask), answer] { ask([answer](MsgAnswer a) { answer->set_value(a); }); });
    return result.get();
}
