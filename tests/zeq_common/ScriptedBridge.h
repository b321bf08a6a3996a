// A window side for the worker that runs everything on the calling thread and
// answers from a script, recording what it was asked.
#pragma once

#include "uBridge.h"
#include "uCore.h"

#include <functional>
#include <string>
#include <vector>

struct ScriptedBridge : IWindowBridge {
    struct Box {
        std::string text, caption;
        MsgIcon icon;
        MsgButtons buttons;
    };
    std::vector<Box> boxes;
    std::vector<std::string> events; // "erase", "prompt", "compare", "join", in order
    int synchronized = 0;
    // Answers a disk prompt; without a script the user gives up.
    std::function<bool(JobState&)> onPrompt;
    std::function<void(JobState&)> onErase;
    std::function<void()> onCompareNotice;

    void Synchronize(const std::function<void()>& fn) override {
        ++synchronized;
        fn();
    }
    void Post(std::function<void()> fn) override { fn(); }
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override {
        boxes.push_back({text, caption, icon, buttons});
        return MsgAnswer::Ok;
    }
    bool PromptForDisk(JobState& job) override {
        events.push_back("prompt");
        return onPrompt ? onPrompt(job) : false;
    }
    void EraseTarget(JobState& job) override {
        events.push_back("erase");
        if (onErase) onErase(job);
    }
    void ShowCompareNotice() override {
        events.push_back("compare");
        if (onCompareNotice) onCompareNotice();
    }
    void ShowJoinNotice() override { events.push_back("join"); }
};
