#include "uWindowBridge.h"

#include "uCore.h"
#include "uGui.h"
#include "uUtils.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

MsgAnswer ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         MsgIcon icon, MsgButtons buttons) {
    QString body = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
    body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox::Icon qIcon = QMessageBox::NoIcon;
    switch (icon) {
    case MsgIcon::None:
        break;
    case MsgIcon::Information:
        qIcon = QMessageBox::Information;
        break;
    case MsgIcon::Warning:
        qIcon = QMessageBox::Warning;
        break;
    case MsgIcon::Question:
        qIcon = QMessageBox::Question;
        break;
    case MsgIcon::Error:
    case MsgIcon::Stop:
        qIcon = QMessageBox::Critical;
        break;
    }
    QMessageBox::StandardButtons qButtons = QMessageBox::Ok;
    if (buttons == MsgButtons::OkCancel) qButtons = QMessageBox::Ok | QMessageBox::Cancel;
    if (buttons == MsgButtons::YesNo) qButtons = QMessageBox::Yes | QMessageBox::No;
    QMessageBox box(qIcon, QString::fromLocal8Bit(caption.c_str()), body, qButtons, owner);
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return MsgAnswer::Cancel;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }
}

void TWindowBridge::Synchronize(const std::function<void()>& fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread()) {
        fn();
        return;
    }
    // Queued into the window thread's message loop; this thread waits for it.
    QMetaObject::invokeMethod(
        app, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

MsgAnswer TWindowBridge::MessageBox(const std::string& text, const std::string& caption,
                                    MsgIcon icon, MsgButtons buttons) {
    return ShowMessageBox(&gui_, text, caption, icon, buttons);
}

bool TWindowBridge::PromptForDisk(JobState& job) {
    gui_.Stats->stop();
    for (;;) {
        const bool writing = job.WritingPies;
        std::string text = writing ? "Please insert a new disk into the following location:"
                                   : "Please insert the disk that contains the file:";
        text += '\r';
        text += writing ? job.TargetPath : job.CurrentPie.Get();
        MsgAnswer a =
            MessageBox(text, "Velmora Zeq - Change Disk", MsgIcon::Warning, MsgButtons::OkCancel);
        if (a == MsgAnswer::Ok) {
            bool ready;
            if (writing) {
                if (job.EraseOption != 0 && TargetFree(job.TargetPath) != -1) EraseTarget(job);
                ready = TargetFree(job.TargetPath) >= job.RequiredSpace.Get();
            } else {
                ready = plat::FileExists(job.CurrentPie.Get());
            }
            if (ready) {
                gui_.Stats->start();
                return true;
            }
            continue;
        }
        if (MessageBox("Are you sure you wish to abort the split?", "Velmora Zeq", MsgIcon::Stop,
                       MsgButtons::YesNo) == MsgAnswer::Yes)
            return false;
    }
}

void TWindowBridge::EraseTarget(JobState& job) {
    EraseFolder(job.TargetPath, job.EraseOption,
                [](const std::string&) { QCoreApplication::processEvents(); });
}

void TWindowBridge::ShowCompareNotice() {
    gui_.ShowCompareNotice();
}
void TWindowBridge::ShowJoinNotice() {
    gui_.ShowJoinNotice();
}
