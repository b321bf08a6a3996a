#include "uErase.h"

#include "uEraseRules.h"
#include "uForms.h"

#include <QCloseEvent>
#include <QCoreApplication>

TErase::TErase(JobState& job, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      job_(job) {
    setWindowTitle(QString::fromLatin1(erasetext::Caption));
    setFont(DialogFont());
    PlaceCentred(this, 330, 122);

    Animate1 = new TAnimate(this, QRect(0, 8, 304, 60), aviDeleteFile);
    Animate1->Play(0, 24, 0);

    Label1 = new QLabel(QString::fromLatin1(erasetext::Heading), this);
    Label1->move(11, 72);
    Label1->adjustSize();

    tDisk = new TFileLabel(this, QRect(11, 96, 305, 17), drFromLeft);
    tDisk->SetAutoSize(false);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
}

void TErase::EraseFolder(const std::string& folder, const std::function<bool()>& stop) {
    EraseJobFolder(
        job_, folder, currentErase_, [] { QCoreApplication::processEvents(); }, stop);
}

void TErase::EraseTarget(const std::function<bool()>& stop) {
    show();
    EraseFolder(job_.Settings().TargetPath, stop);
    hide();
}

void TErase::Timer1Timer() {
    tDisk->SetFileName(Local(currentErase_));
}

void TErase::closeEvent(QCloseEvent* event) {
    event->ignore(); // only the erase's caller closes it
}
