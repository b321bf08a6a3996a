#include "vcabcode.h"

#include "DrawSteps.h"
#include "MessageBoxes.h"
#include "vDirectives.h"
#include "vPictures.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>

// ---- button pictures --------------------------------------------------------------

namespace {

const QColor Silver(192, 192, 192), White(255, 255, 255);

// A button picture of size x size pixels drawn by draw.
QPixmap Picture(int size, void (*draw)(TStepRecorder&)) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    TStepRecorder r;
    draw(r);
    QPainter p(&pm);
    DrawSteps(p, r.Take());
    return pm;
}

void SetUpBar(TGradProgress* bar, const QColor& buttonFace) {
    bar->SetUseSystemColors(true);
    bar->SetSmooth(false);
    bar->SetRelativeGradient(false);
    bar->SetBevelStyle(bsLowered);
    bar->SetBevelWidth(1);
    bar->SetStartColor(QColor(152, 40, 32)); // 2107544 as the desktop stores it
    bar->SetEndColor(Silver);
    bar->SetPosition(0);
    bar->SetMaxValue(100);
    bar->SetStep(1);
    bar->SetShowPercent(false);
    bar->SetBackColor(buttonFace);
    QFont font = bar->font();
    font.setPixelSize(13);
    bar->setFont(font);
    QPalette pal = bar->palette();
    pal.setColor(QPalette::WindowText, White);
    bar->setPalette(pal);
}

QPushButton* FlatButton(QWidget* parent, const QString& caption, const QPixmap& picture,
                        const QRect& bounds) {
    auto* b = new QPushButton(picture, caption, parent);
    b->setFlat(true);
    b->setIconSize(picture.size());
    b->setGeometry(bounds);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

} // namespace

// ---- the window ---------------------------------------------------------------------

TCabEncode::TCabEncode(const std::vector<std::string>& args, TShellState& state)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      state_(state), events_(state,
                             [this](const std::string& text, const std::string& caption,
                                    MsgIcon icon, MsgButtons buttons) {
                                 return WorkerMessageBox(text, caption, icon, buttons);
                             }),
      worker_(Cab, state, events_) {
    setWindowTitle(QString::fromLatin1(AppTitle));
    setFixedSize(368, 136);
    QFont formFont(QStringLiteral("MS Sans Serif"));
    formFont.setPixelSize(11);
    setFont(formFont);
    const QColor buttonFace = palette().color(QPalette::Button);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, buttonFace);
    setPalette(pal);
    setAutoFillBackground(true);

    anim = new TAnimate(this, QRect(8, 16, 272, 60), aviCopyFiles);
    anim->Play(0, 33, 0);

    const QString separator(QChar::fromLatin1(plat::PathSep));
    Target = new TFileLabel(this, QRect(8, 80, 273, 17), drFromLeft);
    Target->SetSeparator(separator);
    Major = new TGradProgress(this, QRect(8, 100, 273, 13));
    SetUpBar(Major, buttonFace);
    Source = new TFileLabel(this, QRect(8, 116, 185, 17), drFromLeft);
    Source->SetSeparator(separator);
    Minor = new TGradProgress(this, QRect(200, 116, 78, 6));
    SetUpBar(Minor, buttonFace);

    Cancel = FlatButton(this, QStringLiteral("Cancel"), Picture(ScissorsSize, DrawScissors),
                        QRect(288, 77, 73, 22));
    connect(Cancel, &QPushButton::clicked, this, &TCabEncode::CancelClick);
    pause = FlatButton(this, QStringLiteral("Pause"), Picture(BellSize, DrawBell),
                       QRect(288, 101, 73, 22));
    connect(pause, &QPushButton::clicked, this, &TCabEncode::pauseClick);

    Timer = new QTimer(this);
    Timer->setInterval(800);
    connect(Timer, &QTimer::timeout, this, &TCabEncode::TimerTimer);

    SetWindowDefaults(Cab);
    events_.Bind(Cab);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    FormCreate(args);
    // Not earlier: the boxes of the start-up run a modal loop, in which a
    // tick would start the worker before the checks are through.
    Timer->start();
}

TCabEncode::~TCabEncode() {
    // The worker ends before the component and the handlers it uses.
    worker_.WaitFor();
}

void TCabEncode::FormCreate(const std::vector<std::string>& args) {
    const MessageBoxFn box = [](const std::string& text, const std::string& caption, MsgIcon icon,
                                MsgButtons buttons) {
        return ShowMessageBox(nullptr, text, caption, icon, buttons);
    };
    if (StartUpOrExit(args, Cab, state_, box)) TimerTimer();
}

void TCabEncode::TimerTimer() {
    Major->SetPosition(state_.MajorPercent.load(std::memory_order_relaxed));
    Minor->SetPosition(state_.MinorPercent.load(std::memory_order_relaxed));
    Source->SetFileName(Local(state_.CurrentFile.Get()));
    Target->SetFileName(Local(state_.CurrentCab.Get()));
    if (state_.Finished.load()) {
        QCoreApplication::exit(0);
        return;
    }
    if (startPending_) {
        startPending_ = false;
        worker_.Start();
    }
}

void TCabEncode::pauseClick() {
    if (pause->text() == QLatin1String("Pause")) {
        Cancel->setEnabled(false);
        anim->Stop();
        state_.Gate.Close();
        pause->setText(QStringLiteral("Resume"));
    } else {
        // A build already cancelling keeps its "Wait..." button disabled.
        Cancel->setEnabled(!state_.Cancel.load());
        anim->Play(0, 33, 0);
        state_.Gate.Open();
        pause->setText(QStringLiteral("Pause"));
    }
}

void TCabEncode::CancelClick() {
    Cancel->setText(QStringLiteral("Wait..."));
    Cancel->setEnabled(false);
    state_.Cancel = true;
}

void TCabEncode::closeEvent(QCloseEvent* event) {
    if (!worker_.Started() || state_.Finished.load()) {
        event->accept();
        QCoreApplication::exit(0);
        return;
    }
    // A build runs: it stops at its next safe point, without asking anything
    // more, removes the cabinet it left incomplete and closes the log; the
    // timer then ends the program.
    event->ignore();
    hide();
    state_.Closing = true;
    state_.Cancel = true;
    state_.Gate.Release();
    const std::vector<OpenBox> open = openBoxes_;
    for (const OpenBox& b : open)
        b.box->done(ResultOf(ClosedBoxAnswer(b.buttons)));
}

MsgAnswer TCabEncode::WorkerMessageBox(const std::string& text, const std::string& caption,
                                       MsgIcon icon, MsgButtons buttons) {
    return AwaitAnswer(window_, [=, this](const std::function<void(MsgAnswer)>& reply) {
        ShowWorkerBox(text, caption, icon, buttons, reply);
    });
}

void TCabEncode::ShowWorkerBox(const std::string& text, const std::string& caption, MsgIcon icon,
                               MsgButtons buttons, const std::function<void(MsgAnswer)>& reply) {
    if (state_.Closing.load()) {
        reply(ClosedBoxAnswer(buttons));
        return;
    }
    // Owned by the application, not modal: the progress window stays usable.
    QMessageBox* box = MakeMessageBox(nullptr, text, caption, icon, buttons);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    openBoxes_.push_back({box, buttons});
    connect(box, &QMessageBox::finished, this, [this, box, buttons, reply](int result) {
        std::erase_if(openBoxes_, [box](const OpenBox& b) { return b.box == box; });
        reply(AnswerOfResult(result, buttons));
    });
    box->show();
}
