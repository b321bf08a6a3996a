// The progress window on the offscreen platform: its controls, the timer step,
// Pause and Cancel, and the worker's questions shown while the window stays
// usable.
#include "MessageBoxes.h"
#include "ShellTestUtil.h"
#include "vcabcode.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;
using shelltest::CrLf;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

// Tests never run the timer step after the worker has finished: ending the
// application would make every later modal loop return at once.

// Runs the event loop until the condition holds; false when it never came
// (a guard against hangs, not a timing check).
template <class Condition> bool SpinUntil(Condition done, qint64 safetyMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > safetyMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// The one message box of the worker that is up.
QMessageBox* WorkerBox() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    return nullptr;
}

class Window : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "src");
        fs::create_directories(dir / "out");
        WriteFile(dir / "src/a.txt", "some text to pack");
        Settings({"1", "0", "831415", "3"});
        List({});
    }
    void List(const std::vector<std::string>& lines) { WriteFile(list, CrLf(lines)); }
    void Settings(const std::vector<std::string>& lines) { WriteFile(settings, CrLf(lines)); }
    std::unique_ptr<TCabEncode> Open() {
        return std::make_unique<TCabEncode>(
            std::vector<std::string>{"orvane", "plumb", list, settings}, state);
    }
    TempDir dir{"orvwin"};
    std::string list = dir / "list.txt", settings = dir / "settings.txt";
    TShellState state;
};

// First: it runs a modal loop.
TEST_F(Window, SettingsErrorIsShownAndTheFirstTickStartsTheWorker) {
    Settings({"1", "not a number"});
    std::string shown;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->windowTitle().toStdString() + "|" + box->text().toStdString();
            box->accept();
        }
    });
    answer.start(10);
    auto w = Open();
    answer.stop();
    EXPECT_EQ(shown, "Velmora Cab|Invalid numeric input.");
    EXPECT_FALSE(w->Worker().Started());
    w->TimerTimer();
    EXPECT_TRUE(w->Worker().Started());
    EXPECT_TRUE(SpinUntil([&] { return state.Finished.load(); }));
}

TEST_F(Window, ControlsAsLaidOut) {
    auto w = Open();
    EXPECT_EQ(w->windowTitle(), "Velmora Cab");
    EXPECT_EQ(w->size(), QSize(368, 136));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    const std::pair<QWidget*, QRect> bounds[] = {
        {w->anim, {8, 16, 272, 60}},   {w->Target, {8, 80, 273, 17}},
        {w->Major, {8, 100, 273, 13}}, {w->Source, {8, 116, 185, 17}},
        {w->Minor, {200, 116, 78, 6}}, {w->Cancel, {288, 77, 73, 22}},
        {w->pause, {288, 101, 73, 22}}};
    for (const auto& [control, rect] : bounds)
        EXPECT_EQ(control->geometry(), rect) << control->metaObject()->className();
    EXPECT_EQ(w->anim->CommonAVI(), aviCopyFiles);
    EXPECT_EQ(w->anim->StopFrame(), 33);
    EXPECT_TRUE(w->anim->Active());
    for (TFileLabel* label : {w->Target, w->Source}) {
        EXPECT_EQ(label->Direction(), drFromLeft);
        EXPECT_EQ(label->Separator(), "/");
    }
    for (TGradProgress* bar : {w->Major, w->Minor}) {
        EXPECT_TRUE(bar->UseSystemColors());
        EXPECT_FALSE(bar->Smooth());
        EXPECT_EQ(bar->BevelWidth(), 1);
        EXPECT_FALSE(bar->ShowPercent());
        EXPECT_EQ(bar->BackColor(), w->palette().color(QPalette::Button));
    }
    EXPECT_EQ(w->Cancel->text(), "Cancel");
    EXPECT_EQ(w->Cancel->iconSize(), QSize(20, 20));
    EXPECT_EQ(w->pause->text(), "Pause");
    EXPECT_EQ(w->pause->iconSize(), QSize(16, 16));
    EXPECT_EQ(w->Timer->interval(), 800);
    EXPECT_TRUE(w->Timer->isActive());
    // The start-up ran the timer step once: the worker runs before the window shows.
    EXPECT_TRUE(w->Worker().Started());
    EXPECT_TRUE(SpinUntil([&] { return state.Finished.load(); }));
}

// The pictures come from drawing steps: each button shows its own, in colour.
TEST_F(Window, ButtonsShowTheirPictures) {
    auto w = Open();
    const auto colours = [](const QPushButton* button) {
        const QImage image = button->icon().pixmap(button->iconSize()).toImage();
        std::set<QRgb> seen;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) == 255) seen.insert(image.pixel(x, y));
        return seen;
    };
    const std::set<QRgb> scissors = colours(w->Cancel), bell = colours(w->pause);
    EXPECT_TRUE(scissors.contains(qRgb(128, 0, 0))) << "maroon handles";
    EXPECT_TRUE(bell.contains(qRgb(255, 255, 0))) << "yellow body";
    EXPECT_NE(scissors, bell);
    EXPECT_TRUE(SpinUntil([&] { return state.Finished.load(); }));
}

TEST_F(Window, TimerStepCopiesTheProgressIntoTheControls) {
    // The worker waits at its first gate, so the step does not end the program.
    state.Gate.Close();
    auto w = Open();
    state.MajorPercent = 40;
    state.MinorPercent = 7;
    state.CurrentCab.Set("/out/pack.cab");
    state.CurrentFile.Set("/src/a.txt");
    w->TimerTimer();
    EXPECT_EQ(w->Major->Position(), 40);
    EXPECT_EQ(w->Minor->Position(), 7);
    EXPECT_EQ(w->Target->FileName(), "/out/pack.cab");
    EXPECT_EQ(w->Source->FileName(), "/src/a.txt");
    // Percentages beyond the bar are passed over by it.
    state.MajorPercent = 101;
    w->TimerTimer();
    EXPECT_EQ(w->Major->Position(), 40);
    state.Gate.Open();
    EXPECT_TRUE(SpinUntil([&] { return state.Finished.load(); }));
}

TEST_F(Window, PauseAndResume) {
    auto w = Open();
    w->pause->click();
    EXPECT_EQ(w->pause->text(), "Resume");
    EXPECT_FALSE(w->Cancel->isEnabled());
    EXPECT_FALSE(w->anim->Active());
    EXPECT_TRUE(state.Gate.IsClosed());
    w->pause->click();
    EXPECT_EQ(w->pause->text(), "Pause");
    EXPECT_TRUE(w->Cancel->isEnabled());
    EXPECT_TRUE(w->anim->Active());
    EXPECT_EQ(w->anim->CurrentFrame(), 0);
    EXPECT_FALSE(state.Gate.IsClosed());
    EXPECT_TRUE(SpinUntil([&] { return state.Finished.load(); }));
}

TEST_F(Window, CancelWaitsAndLeavesPauseUsable) {
    auto w = Open();
    w->Cancel->click();
    EXPECT_EQ(w->Cancel->text(), "Wait...");
    EXPECT_FALSE(w->Cancel->isEnabled());
    EXPECT_TRUE(w->pause->isEnabled());
    EXPECT_TRUE(state.Cancel.load());
    // Pause and Resume leave the cancelling build's button as it is.
    w->pause->click();
    w->pause->click();
    EXPECT_EQ(w->Cancel->text(), "Wait...");
    EXPECT_FALSE(w->Cancel->isEnabled());
    EXPECT_TRUE(SpinUntil([&] { return state.Finished.load(); }));
}

TEST_F(Window, WorkerQuestionsKeepTheWindowUsable) {
    WriteFile(dir / "out/pack.cab", "older");
    List({dir / "out/pack", dir / "src/*", "$", "$"});
    auto w = Open();
    w->show();
    ASSERT_TRUE(SpinUntil([&] { return w->OpenBoxes() == 1; }));
    QMessageBox* box = WorkerBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Velmora Cab");
    EXPECT_EQ(box->text().toStdString(),
              "Cabinet \"" + (dir / "out/pack.cab") + "\" already exists. Overwrite?");
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    // Nothing modal: the window still takes its buttons.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    w->Cancel->click();
    EXPECT_TRUE(state.Cancel.load());
    box->button(QMessageBox::Yes)->click();
    // The build goes on to its first status event, which answers the cancel.
    ASSERT_TRUE(SpinUntil([&] { return w->OpenBoxes() == 1 || state.Finished.load(); }));
    box = WorkerBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Fatal Error:\nUser abort");
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    box->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(SpinUntil([&] { return state.Finished.load(); }));
    EXPECT_FALSE(testutil::Exists(dir / "out/pack.cab"));
}

TEST_F(Window, ClosingDuringABuildAnswersTheOpenQuestionAndEndsTheWorker) {
    WriteFile(dir / "out/pack.cab", "older");
    WriteFile(dir / "build.log", "");
    List({dir / "out/pack", dir / "src/*", "$", "$"});
    auto w = Open();
    w->show();
    ASSERT_TRUE(SpinUntil([&] { return w->OpenBoxes() == 1; }));
    EXPECT_FALSE(w->close()); // the window waits for the worker
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(state.Closing.load());
    ASSERT_TRUE(SpinUntil([&] { return state.Finished.load(); }));
    EXPECT_EQ(w->OpenBoxes(), 0);
    EXPECT_EQ(WorkerBox(), nullptr);
    // The question was answered No: the older file stays.
    EXPECT_EQ(ReadFile(dir / "out/pack.cab"), "older");
}

TEST_F(Window, ClosingWhilePausedStillEndsTheWorker) {
    WriteFile(dir / "out/pack.cab", "older");
    List({dir / "out/pack", dir / "src/*", "$", "$"});
    auto w = Open();
    ASSERT_TRUE(SpinUntil([&] { return w->OpenBoxes() == 1; }));
    w->pause->click();
    WorkerBox()->button(QMessageBox::Yes)->click();
    // The worker reaches the gate at its first status event and waits.
    ASSERT_TRUE(SpinUntil([&] { return state.Gate.Waiting() == 1; }));
    w->close();
    ASSERT_TRUE(SpinUntil([&] { return state.Finished.load(); }));
    EXPECT_EQ(WorkerBox(), nullptr);
}

TEST(MessageBoxes, TextLinesButtonsAndAnswers) {
    std::unique_ptr<QMessageBox> box(MakeMessageBox(nullptr, "Error:\rbad\r\rRetry?", "Velmora Cab",
                                                    MsgIcon::Question, MsgButtons::YesNoCancel));
    EXPECT_EQ(box->text(), "Error:\nbad\n\nRetry?");
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
    EXPECT_EQ(AnswerOfResult(QMessageBox::Yes, MsgButtons::YesNoCancel), MsgAnswer::Yes);
    EXPECT_EQ(AnswerOfResult(QMessageBox::No, MsgButtons::YesNoCancel), MsgAnswer::No);
    EXPECT_EQ(AnswerOfResult(-1, MsgButtons::YesNo), MsgAnswer::No);
    EXPECT_EQ(AnswerOfResult(-1, MsgButtons::OkCancel), MsgAnswer::Cancel);
    box.reset(MakeMessageBox(nullptr, "Please insert a new disk to continue", "Velmora Cab",
                             MsgIcon::Information, MsgButtons::OkCancel));
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora Cab"));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
