#include "vFwCAB.h"

#include "Platform.h"
#include "vFileSel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>

namespace {

// The component that the relays reach.
std::atomic<tvFwCAB*> currentCab{nullptr};

// The layer's error code for a call that ended on an abort answer.
constexpr int kInterfaceUserAbort = 7;

// Destroys the compression context however the build ends, also when a
// handler throws out of an event raised by Encode itself; a build that leaves
// that way has not finished, and the cabinets it wrote go with it.
class ContextGuard {
  public:
    explicit ContextGuard(HCabContext h) : h_(h) {}
    ~ContextGuard() {
        if (!settled_) CabRemoveWritten(h_);
        CabDestroy(h_);
    }
    ContextGuard(const ContextGuard&) = delete;
    ContextGuard& operator=(const ContextGuard&) = delete;
    // The build's cabinets are dealt with: kept as a finished set, or removed.
    void Settled() { settled_ = true; }

  private:
    HCabContext h_;
    bool settled_ = false;
};

// The names of cabinets left of a set, quoted, a handful at most.
std::string CabinetList(const std::vector<std::string>& cabinets) {
    constexpr std::size_t Shown = 8;
    std::string text;
    for (std::size_t i = 0; i < cabinets.size() && i < Shown; ++i)
        text += (i ? ", \"" : "\"") + cabinets[i] + "\"";
    if (cabinets.size() > Shown)
        text += " and " + std::to_string(cabinets.size() - Shown) + " more";
    return text;
}

std::mt19937 ClockSeeded() {
    auto wall = std::chrono::system_clock::now().time_since_epoch().count();
    auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    std::seed_seq seq{static_cast<std::uint32_t>(wall), static_cast<std::uint32_t>(wall >> 32),
                      static_cast<std::uint32_t>(tick), static_cast<std::uint32_t>(tick >> 32)};
    return std::mt19937(seq);
}

} // namespace

tvFwCAB::tvFwCAB() : random_(ClockSeeded()) {
    currentCab.store(this);
}

tvFwCAB::~tvFwCAB() {
    // The relays must never reach a component that is gone.
    tvFwCAB* self = this;
    currentCab.compare_exchange_strong(self, nullptr);
}

tvFwCAB* tvFwCAB::Current() {
    return currentCab.load();
}

int tvFwCAB::WindowExponent(std::int32_t compFactor) {
    std::int64_t e = static_cast<std::int64_t>(compFactor) + 14;
    return static_cast<int>(std::clamp<std::int64_t>(e, 15, 21));
}

int tvFwCAB::FilesPercent(std::int32_t filesDone, std::int32_t fileTotal) {
    if (fileTotal <= 0) return 100;
    std::int64_t p = static_cast<std::int64_t>(filesDone) * 100 / fileTotal;
    return static_cast<int>(std::min<std::int64_t>(p, INT_MAX));
}

void tvFwCAB::RaiseError(int errId, int apiCode, const std::string& text, int& action) {
    if (OnErrorNotify) OnErrorNotify(*this, errId, apiCode, text, action);
}

// Raises a failure of the layer with the codes of its error record, noting
// first which cabinet file it concerns.
void tvFwCAB::RaiseLayerError(HCabContext h, int errId, int& action) {
    constexpr int CabinetFileFailure = 6;
    TCabError e = CabLastError();
    failedCabinet_.clear();
    if (e.erfOper == CabinetFileFailure) {
        // A system error comes from making or writing a file: the last
        // cabinet begun. Otherwise the cabinet in progress had no room.
        failedCabinet_ = h && e.erfType != 0 ? CabLastCabinet(h) : std::string();
        if (failedCabinet_.empty()) failedCabinet_ = cabFile_;
    }
    RaiseError(errId, e.erfType, CabErrorText(e.erfOper), action);
}

// A build that does not finish leaves no part of its set that looks like a
// result: what it wrote and can still reach goes, the rest is named.
void tvFwCAB::GiveUpSet(HCabContext h) {
    std::vector<std::string> left = CabRemoveWritten(h);
    if (left.empty()) return;
    int action = -1;
    RaiseError(ceSetIncomplete, 0,
               "The cabinet set is incomplete; these cabinets of it are left: " + CabinetList(left),
               action);
}

void tvFwCAB::Encode() {
    // The relays reach the component whose build runs.
    currentCab.store(this);

    abort_ = false;
    filesDone_ = 0;
    fileTotal_ = 0;
    windowExponent_ = WindowExponent(compFactor_);

    // An existing target is never overwritten: the owner may remove it and
    // have the check made again.
    int action = -1;
    for (;;) {
        bool exists = plat::FileExists(cabFile_);
        action = exists ? -1 : 1;
        if (exists) RaiseError(ceCabExists, 0, "Cabinet already exists", action);
        if (!exists || action == -1) break;
    }
    if (action == -1) return;

    std::uniform_int_distribution<int> setNumbers(0, 2147483646);
    HCabContext h = nullptr;
    do {
        action = -1;
        h = CabCreate(cabFile_, diskName_, folderSize_, diskSize_, reserved_, setNumbers(random_),
                      vFwProgressRelay, vFwNextCabinetRelay);
        if (!h && OnErrorNotify) RaiseLayerError(nullptr, ceCreateFailure, action);
    } while (!h && action != -1);
    if (!h) return;
    ContextGuard guard(h);

    if (OnMajorStatus) OnMajorStatus(*this, std::string(cabFile_), 0, abort_);
    if (!abort_ && OnMinorStatus) OnMinorStatus(*this, "Scanning...", 0, abort_);
    if (abort_) {
        guard.Settled(); // nothing written yet
        action = -1;
        RaiseError(ceUserAbort, 0, "User abort", action);
        return;
    }

    // Handlers may change the lists while the build runs; the build keeps to
    // the entries it started with.
    const TStringList adds = addFiles_;
    const TStringList recurses = recurseFiles_;
    std::string folder, mask;

    for (const std::string& entry : adds) {
        SplitEntry(entry, folder, mask);
        fileTotal_ += CountFiles(mask, folder, false);
    }
    for (const std::string& entry : recurses) {
        SplitEntry(entry, folder, mask);
        fileTotal_ += CountFiles(mask, folder, true);
    }

    TFileSelTarget target;
    target.Aborted = [this] { return abort_; };
    target.AddFile = [this, h](const std::string& sourcePath, const std::string& nameInCab) {
        AddOneFile(h, sourcePath, nameInCab);
    };
    auto addEntries = [&](const TStringList& entries, bool recurse) {
        for (const std::string& entry : entries) {
            if (abort_) return;
            target.StorePath = storePath_;
            target.PartialPath = partialPath_;
            SplitEntry(entry, folder, mask);
            AddMatchingFiles(mask, folder, recurse, folder, target);
        }
    };
    addEntries(adds, false);
    addEntries(recurses, true);

    if (!abort_ && OnMajorStatus) OnMajorStatus(*this, std::string(cabFile_), 100, abort_);
    if (!abort_ && OnMinorStatus) OnMinorStatus(*this, "", 100, abort_);

    bool finished = false;
    if (!abort_) {
        do {
            action = -1;
            finished = CabFlush(h, false);
            if (!finished && OnErrorNotify) RaiseLayerError(h, ceCabFailure, action);
        } while (!finished && action == 1);
    }
    guard.Settled();
    if (!finished) GiveUpSet(h);
    // The guard destroys the context; its result tells nothing more.
}

void tvFwCAB::AddOneFile(HCabContext h, const std::string& sourcePath,
                         const std::string& nameInCab) {
    for (;;) {
        int action = 0;
        if (CabAddFile(h, sourcePath, nameInCab, compType_, windowExponent_, false)) break;
        TCabError e = CabLastError();
        if (e.erfOper == kInterfaceUserAbort) {
            // An abort answered inside the layer's call (by OnMinorStatus or
            // OnMessageNotify) ends the build, whether or not anybody listens
            // for errors.
            RaiseError(ceUserAbort, 0, "User abort", action);
            action = -1;
        } else {
            RaiseLayerError(h, ceCabFailure, action);
        }
        if (action == -1) {
            abort_ = true;
            break;
        }
        if (action == 0) break; // skipped; counted as done below
    }
    if (abort_) return;

    ++filesDone_;
    if (OnMajorStatus)
        OnMajorStatus(*this, std::string(cabFile_), FilesPercent(filesDone_, fileTotal_), abort_);
}

void tvFwCAB::FileProgress(const std::string& fileName, int percent, bool& abort) {
    if (OnMinorStatus) OnMinorStatus(*this, fileName, percent, abort);
}

void tvFwCAB::NextCabinet(std::string& cabName, std::string& diskName, int cabNo, int& diskNo,
                          bool& abort) {
    if (!OnMessageNotify) return;
    OnMessageNotify(*this, cabName, diskName, cabNo, diskNo, abort);
    // Every cabinet of a set lies in the folder of the first.
    std::string folder, oldName;
    SplitEntry(cabFile_, folder, oldName);
    cabFile_ = folder + cabName;
}

void vFwProgressRelay(const std::string& fileName, int percent, bool& abort) {
    if (tvFwCAB* cab = tvFwCAB::Current()) cab->FileProgress(fileName, percent, abort);
}

void vFwNextCabinetRelay(std::string& cabName, std::string& diskName, int cabNo, int& diskNo,
                         bool& abort) {
    if (tvFwCAB* cab = tvFwCAB::Current())
        cab->NextCabinet(cabName, diskName, cabNo, diskNo, abort);
}
