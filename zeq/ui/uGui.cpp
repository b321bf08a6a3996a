#include "uGui.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <climits>

namespace {
QString Local(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

void ProgressFigures(std::uint64_t sourceSize, std::uint64_t sourceDone, std::uint64_t pieDone,
                     int& maximum, int& position) {
    std::uint64_t max = sourceSize;
    std::uint64_t pos = (sourceDone >> 1) + (pieDone >> 1);
    while (max > INT_MAX || pos > INT_MAX) {
        max >>= 1;
        pos >>= 1;
    }
    maximum = static_cast<int>(max);
    position = static_cast<int>(pos);
}

TGui::TGui(JobState& job, const std::string& captionArg) : job_(job), bridge_(*this) {
    setFixedSize(365, 151);
    FileName = new QLabel(this);
    FileName->setGeometry(8, 3, 353, 17);
    Notice = new QLabel(QStringLiteral("Splitting into pies..."), this);
    Notice->setGeometry(8, 88, 273, 17);
    Progress = new QProgressBar(this);
    Progress->setGeometry(8, 110, 273, 13);
    Progress->setRange(0, 100);
    Progress->setValue(0);
    Progress->setTextVisible(false);
    Action = new QPushButton(QStringLiteral("Pause"), this);
    Action->setGeometry(288, 112, 73, 25);
    Action->setCheckable(true);
    Action->setToolTip(QStringLiteral("Pause or resume the split"));
    MainFileName = new QLabel(this);
    MainFileName->setGeometry(8, 128, 273, 17);
    Stats = new QTimer(this);
    Stats->setInterval(3141);
    connect(Stats, &QTimer::timeout, this, [this] { StatsTimer(); });
    connect(Action, &QPushButton::clicked, this, [this] { ActionClick(); });
    Stats->start();
    FormCreate(captionArg);
}

TGui::~TGui() = default;

void TGui::FormCreate(const std::string& captionArg) {
    std::string caption = captionArg.empty() ? "Zeq Split Engine: " : captionArg;
    setWindowTitle(Local(caption));
    std::string error;
    if (!LoadJob(plat::ProgramFolder(), job_, error)) {
        ShowMessageBox(nullptr, error, "Velmora Zeq", MsgIcon::Error, MsgButtons::Ok);
        plat::ExitProcess(1);
    }
    setWindowTitle(Local(caption + job_.JobTitle));
    MainFileName->setText(Local(job_.SourcePath));
    worker_ = std::make_unique<Zeq>(job_, bridge_);
    worker_->Start();
}

void TGui::StatsTimer() {
    int maximum = 0, position = 0;
    ProgressFigures(job_.SourceSize.Get(), job_.SourceDone.Get(), job_.PieDone.Get(), maximum,
                    position);
    Progress->setRange(0, maximum);
    Progress->setValue(position);
    FileName->setText(Local(job_.CurrentPie.Get()));
    if (job_.Finished) QApplication::quit();
}

void TGui::ActionClick() {
    if (Action->text() == QLatin1String("Pause")) {
        Action->setText(QStringLiteral("Paused"));
        Action->setChecked(true);
        if (worker_) worker_->Pause();
    } else {
        if (worker_) worker_->Resume();
        Action->setChecked(false);
        Action->setText(QStringLiteral("Pause"));
    }
}

void TGui::ShowCompareNotice() {
    Notice->setText(QStringLiteral("Comparing pies against original file..."));
}

void TGui::ShowJoinNotice() {
    Notice->setText(QStringLiteral("Making pies self uniting..."));
}

void TGui::WaitWorker() {
    if (worker_) worker_->Wait();
}
