#include "vEncodeCab.h"

#include "vDirectives.h"

void EncodeCab::Start() {
    if (Started()) return;
    thread_ = std::thread([this] {
        plat::SetCurrentThreadPriority(state_.WorkerPriority);
        Execute();
    });
}

void EncodeCab::WaitFor() {
    if (thread_.joinable()) thread_.join();
}

void EncodeCab::Execute() {
    try {
        for (;;) {
            state_.Gate.Pass();
            if (state_.Cancel.load(std::memory_order_relaxed) || !ReadNextJob(cab_, state_)) break;
            if (cab_.CabFile().empty()) {
                events_.Fatal(NoCabinetNamed);
                continue;
            }
            if (state_.Spanning) {
                state_.BaseCabName = cab_.CabFile();
                cab_.SetCabFile(FolderPart(state_.BaseCabName) + FileStem(state_.BaseCabName) +
                                "1.cab");
            }
            events_.BuildStarting();
            cab_.Encode();
            if (state_.Closing.load()) RemoveIncompleteCabinet();
        }
    } catch (...) {
        // Whatever went wrong, the worker still ends in order below.
    }
    state_.List.Close();
    if (state_.LogMode) state_.LogFile.Close();
    state_.Finished.store(true);
}

void EncodeCab::RemoveIncompleteCabinet() {
    const std::string cab = events_.IncompleteCabinet();
    if (!cab.empty() && plat::FileExists(cab)) plat::DeleteFile(cab);
}
