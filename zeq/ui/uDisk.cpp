#include "uDisk.h"

#include "uErase.h"
#include "uForms.h"
#include "uUtils.h"

#include <QApplication>
#include <QMessageBox>
#include <QShowEvent>
#include <climits>
#include <memory>

TDisk::TDisk(JobState& job, TErase& erase, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      FreeSpace(TargetFree), Beep([] { QApplication::beep(); }), job_(job), erase_(erase) {
    setWindowTitle(QStringLiteral("Velmora Zeq - Change Disk"));
    setFont(DialogFont());
    setModal(true);
    PlaceCentred(this, 375, 118);

    Animate1 = new TAnimate(this, QRect(8, 8, 80, 50), aviFindFolder);
    Animate1->Play(0, 29, 0);

    diskPrompt =
        new QLabel(QStringLiteral("Please insert a new disk into the following location:"), this);
    diskPrompt->move(16, 64);
    diskPrompt->adjustSize();

    filePrompt = new TFileLabel(this, QRect(16, 82, 265, 17), drFromLeft);
    filePrompt->SetAutoSize(false);

    OK = new QPushButton(QStringLiteral("Check !"), this);
    OK->setGeometry(294, 48, 75, 25);
    Cancel = new QPushButton(QStringLiteral("Cancel..."), this);
    Cancel->setGeometry(294, 80, 75, 25);
    setTabOrder(OK, Cancel);
    OK->setDefault(true);

    Check = new QTimer(this);
    connect(Check, &QTimer::timeout, this, [this] { CheckTimer(); });
    connect(OK, &QPushButton::clicked, this, [this] { CheckTimer(); });
    connect(Cancel, &QPushButton::clicked, this, [this] { CancelClick(); });
}

int TDisk::CheckMs() const {
    const auto low = static_cast<std::uint32_t>(job_.Settings().CheckInterval);
    return low > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(low);
}

void TDisk::Prepare() {
    aborted_ = false;
    okPending_ = false;
    setResult(0);
    const bool writing = job_.WritingPies;
    diskPrompt->setText(
        writing ? QStringLiteral("Please insert a new disk into the following location:")
                : QStringLiteral("Please insert the disk that contains the file:"));
    diskPrompt->adjustSize();
    filePrompt->SetFileName(Local(writing ? job_.Settings().TargetPath : job_.CurrentPie.Get()));
    if (CheckMs() == 0) {
        Check->stop();
        OK->show();
    } else {
        OK->hide();
        Check->setInterval(CheckMs());
        Check->start();
    }
}

bool TDisk::Prompt() {
    Prepare();
    const int result = exec();
    Check->stop();
    return result == QDialog::Accepted && !aborted_;
}

void TDisk::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return; // shown again after being minimised, not a new prompt
    NoDiskSeen = false;
    if (Beep) Beep();
}

void TDisk::CheckTimer() {
    // An erase inside a check processes window messages: no second check may
    // start inside it, and once the user has answered the abort question with
    // Yes or a success waits for the answer, there is nothing left to check.
    if (erasing_ || aborted_ || okPending_) return;
    Check->stop();
    if (job_.WritingPies)
        CheckNewDisk();
    else
        CheckPieFile();
    if (CheckMs() != 0 && !aborted_ && !okPending_ && result() != QDialog::Accepted) Check->start();
}

void TDisk::CheckNewDisk() {
    const std::string& target = job_.Settings().TargetPath;
    if (FreeSpace(target) != -1 && job_.Settings().EraseOption != 0 &&
        (NoDiskSeen || CheckMs() == 0)) {
        erasing_ = true;
        OK->setEnabled(false);
        erase_.EraseTarget([this] { return aborted_; });
        OK->setEnabled(true);
        erasing_ = false;
        if (aborted_) return; // the abort wins over what the erase made room for
    }
    const std::int64_t free = FreeSpace(target);
    NoDiskSeen = free == -1;
    if (free >= job_.RequiredSpace.Get()) Succeed();
}

void TDisk::CheckPieFile() {
    if (plat::FileExists(job_.CurrentPie.Get())) Succeed();
}

void TDisk::Succeed() {
    if (aborted_) return;
    if (questionUp_) {
        okPending_ = true; // the dialog closes with OK if the user answers No
        Check->stop();
        return;
    }
    done(QDialog::Accepted);
}

void TDisk::CancelClick() {
    if (questionUp_ || aborted_) return;
    questionUp_ = true;
    const bool yes = AskAbort ? AskAbort() : AskAbortBox();
    questionUp_ = false;
    if (yes) {
        aborted_ = true;
        Check->stop();
        done(QDialog::Rejected);
    } else if (okPending_) {
        done(QDialog::Accepted);
    }
}

bool TDisk::AskAbortBox() {
    std::unique_ptr<QMessageBox> box(
        MakeMessageBox(nullptr, "Are you sure you wish to abort the split?", "Velmora Zeq",
                       MsgIcon::Stop, MsgButtons::YesNo));
    // Above the erase dialog, which stays on top while it works.
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    QAbstractButton* yes = box->button(QMessageBox::Yes);
    connect(box.get(), &QMessageBox::buttonClicked, this, [this, yes](QAbstractButton* b) {
        if (b == yes) aborted_ = true;
    });
    return AnswerOfResult(box->exec(), MsgButtons::YesNo) == MsgAnswer::Yes;
}

void TDisk::reject() {
    CancelClick();
}
