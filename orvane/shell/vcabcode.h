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
#include "vCabEvents.h"
#include "vEncodeCab.h"
#include "vFwCAB.h"
#include "vShared.h"

#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <future>
#include <memory>
#include <string>
#include <vector>

class QMessageBox;

// A message box of the program; "\r" in text breaks the line. The caller
// shows it modally (exec) or not.
QMessageBox* MakeMessageBox(const std::string& text, const std::string& caption, TMsgIcon icon,
                            TMsgButtons buttons);
// The answer of a finished box from its result code.
TMsgAnswer AnswerOfResult(int result, TMsgButtons buttons);
// A modal box on the window thread.
TMsgAnswer ShowMessageBox(const std::string& text, const std::string& caption, TMsgIcon icon,
                          TMsgButtons buttons);

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
    TMsgAnswer WorkerMessageBox(const std::string& text, const std::string& caption, TMsgIcon icon,
                                TMsgButtons buttons);
    // Boxes of the worker that are up now.
    int OpenBoxes() const { return static_cast<int>(openBoxes_.size()); }
    const EncodeCab& Worker() const { return worker_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void FormCreate(const std::vector<std::string>& args);
    void ShowWorkerBox(const std::string& text, const std::string& caption, TMsgIcon icon,
                       TMsgButtons buttons, std::shared_ptr<std::promise<TMsgAnswer>> answer);

    TShellState& state_;
    TCabEvents events_;
    EncodeCab worker_;
    bool startPending_ = true;
    struct OpenBox {
        QMessageBox* box;
        TMsgButtons buttons;
    };
    std::vector<OpenBox> openBoxes_;
};
