#include "vDirectives.h"

#include <cstdint>

namespace {

constexpr const char* InvalidNumber = "Invalid numeric input";

// Reads settings line after line; the first failure ends the reading.
class TSettingsReader {
  public:
    explicit TSettingsReader(TDirectiveReader& in) : in_(in) {}
    bool Number(std::int32_t& value) {
        if (!error_.empty()) return false;
        std::int32_t v = 0;
        bool ok = in_.ReadInteger(v);
        if (!Check(ok ? "" : InvalidNumber)) return false;
        value = v;
        return true;
    }
    bool Text(std::string& value) {
        if (!error_.empty()) return false;
        std::string v = in_.ReadLine();
        if (!Check("")) return false;
        value = v;
        return true;
    }
    const std::string& Error() const { return error_; }

  private:
    bool Check(const std::string& numberError) {
        if (in_.Failed())
            error_ = plat::LastErrorText();
        else
            error_ = numberError;
        if (!error_.empty()) error_ = WithFullStop(error_);
        return error_.empty();
    }
    TDirectiveReader& in_;
    std::string error_;
};

} // namespace

std::string ReadSettings(const std::string& path, tvFwCAB& cab, TShellState& state) {
    TDirectiveReader file;
    if (!file.Open(path)) return WithFullStop(plat::LastErrorText());
    TSettingsReader in(file);
    std::int32_t n = 0;
    std::string text;

    if (in.Number(n)) {
        if (n == 1) {
            cab.SetCompType(ctMsZip);
            cab.SetCompFactor(0);
        } else {
            cab.SetCompType(ctLzx);
            cab.SetCompFactor(static_cast<std::int32_t>(static_cast<std::int64_t>(n) - 1));
        }
    }
    if (in.Number(n)) cab.SetReserved(n);
    if (in.Number(n)) cab.SetFolderSize(n);
    if (in.Number(n)) state.WorkerPriority = PriorityOfLevel(n);
    if (in.Text(text)) cab.SetStorePath(text == "TRUE");
    if (in.Text(text)) cab.SetPartialPath(text == "TRUE");
    if (in.Text(text)) state.Spanning = text == "TRUE";
    if (in.Number(n)) cab.SetDiskSize(state.Spanning ? n : INT32_MAX);
    if (in.Text(text)) {
        state.LogMode = !text.empty();
        // A log file that cannot be created leaves log mode on without a
        // file: the handlers then show their log lines as boxes.
        if (state.LogMode && !state.LogFile.Open(text, plat::OpenMode::CreateAlways))
            return WithFullStop(plat::LastErrorText());
    }
    return in.Error();
}

bool ReadNextJob(tvFwCAB& cab, TShellState& state) {
    if (state.Cancel.load(std::memory_order_relaxed)) return false;
    TDirectiveReader& list = state.List;
    if (list.Eof()) return false;

    std::string last = list.ReadLine();
    // A line without a file name names no cabinet: the job gets an empty
    // cabinet path, which the worker refuses, rather than a file ".cab".
    const std::string path = FileNamePart(last).empty() ? std::string() : WithCabExtension(last);
    state.CurrentCab.Set(path);
    cab.SetCabFile(path);

    auto readMasks = [&](tvFwCAB::TStringList& masks) {
        while (last != "$" && !list.Eof()) {
            last = list.ReadLine();
            if (last != "$") masks.push_back(last);
        }
    };
    readMasks(cab.RecurseFiles());
    last.clear();
    readMasks(cab.AddFiles());
    return true;
}

TStartUp StartUp(const std::vector<std::string>& args, tvFwCAB& cab, TShellState& state,
                 const MessageBoxFn& box) {
    if (args.size() < 2 || args[1] != LaunchToken) {
        box("For internal use only.", "", MsgIcon::None, MsgButtons::Ok);
        return TStartUp::Exit0;
    }
    if (args.size() < 4 || !plat::FileExists(args[2]) || !plat::FileExists(args[3])) {
        box("Directive(s) not found.", "", MsgIcon::None, MsgButtons::Ok);
        return TStartUp::Exit1;
    }
    // A list that cannot be opened is told like a settings error, after the
    // settings (and so the log file) have been taken, and reads as empty: the
    // run ends in order without a job.
    std::string error;
    if (!state.List.Open(args[2])) error = WithFullStop(plat::LastErrorText());
    std::string settingsError = ReadSettings(args[3], cab, state);
    if (!settingsError.empty()) error = settingsError;
    if (error.empty()) return TStartUp::Run;
    box(error, AppTitle, MsgIcon::Error, MsgButtons::Ok);
    return TStartUp::RunOnFirstTick;
}

bool StartUpOrExit(const std::vector<std::string>& args, tvFwCAB& cab, TShellState& state,
                   const MessageBoxFn& box) {
    switch (StartUp(args, cab, state, box)) {
    case TStartUp::Exit0:
        plat::ExitProcess(0);
    case TStartUp::Exit1:
        plat::ExitProcess(1);
    case TStartUp::RunOnFirstTick:
        return false;
    case TStartUp::Run:
        break;
    }
    return true;
}

void SetWindowDefaults(tvFwCAB& cab) {
    cab.SetFolderSize(831415);
    cab.SetDiskSize(2147483647);
    cab.SetReserved(0);
    cab.SetCompType(ctMsZip);
    cab.SetCompFactor(3);
    cab.SetStorePath(false);
    cab.SetPartialPath(false);
}
