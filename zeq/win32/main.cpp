// The split engine zeq for Windows: started by the launcher with its token, it
// runs one split job described by the job files in its own folder.
#include "Forms.h"
#include "MessageBoxes.h"
#include "WindowLoop.h"
#include "uDisk.h"
#include "uErase.h"
#include "uGui.h"
#include "uWindowBridge.h"

#include <string>

int main(int argc, char** argv) {
    const std::string token = argc > 1 ? argv[1] : "";
    const std::string caption = argc > 2 ? argv[2] : "";

    if (token != "lanterns") {
        ShowMessageBox(nullptr, "For internal use only", " ", MsgIcon::None, MsgButtons::Ok);
        return 0;
    }
    InitControls();

    // The job state and the windows live until the process ends.
    static JobState job;
    TGui gui(job);
    TErase erase(job);
    TDisk disk(job, erase);
    TWindowBridge bridge(gui, disk, erase);
    // The worker starts here; what it asks of the windows waits for the
    // message loop below, when all of them exist.
    std::string error;
    if (!gui.FormCreate(caption, plat::ProgramFolder(), bridge, error)) {
        ShowMessageBox(nullptr, error, "Velmora Zeq", MsgIcon::Error, MsgButtons::Ok);
        return 1;
    }
    gui.Show();
    const int code = RunMessageLoop();
    // Closed by the user while the worker runs: its work ends with the process.
    if (!job.Finished) plat::ExitProcess(code);
    gui.WaitWorker();
    return code;
}
