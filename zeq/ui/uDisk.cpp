#include "uDisk.h"

#include "uErase.h"
#include "uForms.h"

#include <QApplication>
#include <QMessageBox>
#include <QShowEvent>
#include <memory>

TDisk::TDisk(JobState& job, TErase& erase, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), TDiskRules(job),
      Beep([] { QApplication::beep(); }), erase_(erase) {
    setWindowTitle(QString::fromLatin1(disktext::Caption));
    setFont(DialogFont());
    setModal(true);
    PlaceCentred(this, 375, 118);

    Animate1 = new TAnimate(this, QRect(8, 8, 80, 50), aviFindFolder);
    Animate1->Play(0, 29, 0);

    diskPrompt = new QLabel(QString::fromLatin1(disktext::NewDiskPrompt), this);
    diskPrompt->move(16, 64);
    diskPrompt->adjustSize();

    filePrompt = new TFileLabel(this, QRect(16, 82, 265, 17), drFromLeft);
    filePrompt->SetAutoSize(false);

    OK = new QPushButton(QString::fromLatin1(disktext::CheckButton), this);
    OK->setGeometry(294, 48, 75, 25);
    Cancel = new QPushButton(QString::fromLatin1(disktext::CancelButton), this);
    Cancel->setGeometry(294, 80, 75, 25);
    setTabOrder(OK, Cancel);
    OK->setDefault(true);

    Check = new QTimer(this);
    connect(Check, &QTimer::timeout, this, [this] { CheckTimer(); });
    connect(OK, &QPushButton::clicked, this, [this] { CheckTimer(); });
    connect(Cancel, &QPushButton::clicked, this, [this] { CancelClick(); });
}

void TDisk::Prepare() {
    BeginPrompt();
    setResult(0);
    diskPrompt->setText(QString::fromLatin1(PromptText()));
    diskPrompt->adjustSize();
    filePrompt->SetFileName(Local(PromptPath()));
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
    return result == QDialog::Accepted && !Aborted();
}

void TDisk::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return; // shown again after being minimised, not a new prompt
    Shown();
    if (Beep) Beep();
}

void TDisk::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) Hidden();
}

void TDisk::StopCheckTimer() {
    Check->stop();
}

void TDisk::StartCheckTimer() {
    Check->start();
}

void TDisk::EnableCheckButton(bool enabled) {
    OK->setEnabled(enabled);
}

void TDisk::EraseTarget(const std::function<bool()>& stop) {
    erase_.EraseTarget(stop);
}

bool TDisk::AskAbortQuestion() {
    return AskAbort ? AskAbort() : AskAbortBox();
}

void TDisk::CloseDialog(bool ok) {
    done(ok ? QDialog::Accepted : QDialog::Rejected);
}

bool TDisk::AskAbortBox() {
    std::unique_ptr<QMessageBox> box(MakeMessageBox(
        nullptr, disktext::AbortQuestion, disktext::AbortTitle, MsgIcon::Stop, MsgButtons::YesNo));
    // Above the erase dialog, which stays on top while it works.
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    QAbstractButton* yes = box->button(QMessageBox::Yes);
    connect(box.get(), &QMessageBox::buttonClicked, this, [this, yes](QAbstractButton* b) {
        if (b == yes) AbortConfirmed();
    });
    return AnswerOfResult(box->exec(), MsgButtons::YesNo) == MsgAnswer::Yes;
}

void TDisk::reject() {
    CancelClick();
}
