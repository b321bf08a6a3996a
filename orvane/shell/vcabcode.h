// TCabEncode, the cabinet builder's progress window: a clip, the cabinet and
// file in progress with a bar each, Cancel and Pause. Its creation runs the
// start-up (token, directives, settings) and starts the build worker; a timer
// copies the worker's progress into the controls and ends the program once
// the worker has finished. The worker's questions are shown here, on the
// window thread, while the worker waits; the window stays usable meanwhile.
#pragma once

#include "AnimClip.h"
#include "FileLbl.h"
#include "GradProgress.h"
#include "WindowLoop.h"
#include "vCabEvents.h"
#include "vEncodeCab.h"
#include "vFwCAB.h"
#include "vShared.h"

#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QMessageBox;

class TCabEncode : public QWidget {
    Q_OBJECT

  public:
    // args as the program received them; state lives as long as the window.
    TCabEncode(const std::vector<std::string>& args, TShellState& state);
    ~TCabEncode() override;

    TAnimate* anim;
    TFileLabel* Target;
    TGradProgress* Major;
    TFileLabel* Source;
    TGradProgress* Minor;
    QPushButton* Cancel;
    QPushButton* pause;
    QTimer* Timer;
    tvFwCAB Cab;

    void TimerTimer();
    void pauseClick();
    void CancelClick();

    // For the worker's handlers: shows the box on the window thread and waits
    // for its answer. Not to be called on the window thread.
    MsgAnswer WorkerMessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                               MsgButtons buttons);
    // Boxes of the worker that are up now.
    int OpenBoxes() const { return static_cast<int>(openBoxes_.size()); }
    const EncodeCab& Worker() const { return worker_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void FormCreate(const std::vector<std::string>& args);
    void ShowWorkerBox(const std::string& text, const std::string& caption, MsgIcon icon,
                       MsgButtons buttons, const std::function<void(MsgAnswer)>& reply);

    TShellState& state_;
    WindowLoop window_{this}; // the worker's way to this window
    TCabEvents events_;
    EncodeCab worker_;
    bool startPending_ = true;
    struct OpenBox {
        QMessageBox* box;
        MsgButtons buttons;
    };
    std::vector<OpenBox> openBoxes_;
};
