#include "uErase.h"

#include "uForms.h"
#include "uUtils.h"

#include <QCloseEvent>
#include <QCoreApplication>

namespace {
// Thrown from the entry callback to leave the walk of EraseFolder early.
struct EraseStopped {};
} // namespace

TErase::TErase(JobState& job, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      job_(job) {
    setWindowTitle(QStringLiteral("Velmora Zeq - Erase"));
    setFont(DialogFont());
    PlaceCentred(this, 330, 122);

    Animate1 = new TAnimate(this, QRect(0, 8, 304, 60), aviDeleteFile);
    Animate1->Play(0, 24, 0);

    Label1 = new QLabel(QStringLiteral("Erasing files:"), this);
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
    try {
        auto onEntry = [&](const std::string& entry) {
            currentErase_ = entry;
            QCoreApplication::processEvents();
            if (stop && stop()) throw EraseStopped{};
        };
        // The job's source is never erased, whatever name it has in the target.
        ::EraseFolder(folder, job_.Settings().EraseOption, onEntry,
                      job_.Settings().SourceKnown ? &job_.Settings().SourceId : nullptr);
    } catch (const EraseStopped&) {
        // What is left stays; the caller judges the disk by its free space.
    }
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
