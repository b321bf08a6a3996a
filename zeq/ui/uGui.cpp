#include "uGui.h"

#include "uForms.h"
#include "uUtils.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QPolygon>

namespace {

// A label drawn engraved into the window (recessed) or standing out of it
// (raised): the text in the light and the shadow edge colours, one pixel up and
// left and one pixel down and right, and the text itself between them, greyed
// when the label is disabled.
class TLabel3D : public QLabel {
  public:
    enum Style { Raised, Recessed };
    TLabel3D(const QString& text, Style style, QWidget* parent)
        : QLabel(text, parent), style_(style) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setFont(font());
        const QPalette& pal = palette();
        // The edges keep their colours when the label is disabled.
        const QColor light = pal.color(QPalette::Active, QPalette::Light);
        const QColor shadow = pal.color(QPalette::Active, QPalette::Dark);
        const QRect r = contentsRect().adjusted(1, 1, -1, -1);
        const int flags = int(alignment()) | Qt::TextSingleLine;
        p.setPen(style_ == Raised ? light : shadow);
        p.drawText(r.translated(-1, -1), flags, text());
        p.setPen(style_ == Raised ? shadow : light);
        p.drawText(r.translated(1, 1), flags, text());
        p.setPen(
            pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        p.drawText(r, flags, text());
    }

  private:
    Style style_;
};

// A small flat button with a drop-down mark, drawn in black and white; it shows
// a frame only while the mouse is over it or it is pressed.
class TDropButton : public QAbstractButton {
  public:
    explicit TDropButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
        setText(text);
        setAttribute(Qt::WA_Hover);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect r = rect();
        if (isDown() || underMouse()) {
            p.setPen(isDown() ? Qt::black : Qt::white);
            p.drawLine(r.topLeft(), r.topRight());
            p.drawLine(r.topLeft(), r.bottomLeft());
            p.setPen(isDown() ? Qt::white : Qt::black);
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
        }
        const int shift = isDown() ? 1 : 0;
        p.setPen(isEnabled() ? Qt::black : Qt::gray);
        p.setFont(font());
        const QRect textRect = r.adjusted(1 + shift, shift, -7 + shift, shift);
        p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text());
        // The mark: a small triangle pointing down, right of the text.
        const int x = r.right() - 6 + shift, y = r.center().y() - 1 + shift;
        p.setBrush(p.pen().color());
        p.drawPolygon(QPolygon({QPoint(x, y), QPoint(x + 4, y), QPoint(x + 2, y + 2)}));
    }
};

} // namespace

TGui::TGui(JobState& job, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      FreeSpace(TargetFree), TotalSpace(TargetTotal), Quit([] { QApplication::quit(); }),
      job_(job) {
    setFont(VerdanaFont());
    setWindowTitle(QString::fromLatin1(guitext::DefaultCaption));
    PlaceCentred(this, ClientWidth, CollapsedHeight);

    // Its width follows the text it shows; it starts with no text and so no
    // width, and a piece's path then shows as its file name.
    FileName = new TFileLabel(this, QRect(8, 3, 0, 13), drFromLeft);
    FileName->SetAutoSize(true);

    avi = new TAnimate(this, QRect(8, 24, 272, 60), aviCopyFile);
    avi->Play(0, 26, 0);

    Notice = new QLabel(QString::fromLatin1(guitext::SplitNotice), this);
    Notice->move(8, 88);
    Notice->adjustSize();

    Progress = new QProgressBar(this);
    Progress->setGeometry(8, 110, 273, 13);
    Progress->setRange(0, 100);
    Progress->setValue(0);
    Progress->setTextVisible(false);

    Action = new QPushButton(QString::fromLatin1(guitext::Pause), this);
    Action->setGeometry(288, 112, 73, 25);
    Action->setCheckable(true);
    Action->setToolTip(QString::fromLatin1(guitext::PauseHint));

    MainFileName = new TFileLabel(this, QRect(8, 128, 273, 17), drFromLeft);
    MainFileName->SetAutoSize(false);

    More = new TDropButton(QString::fromLatin1(guitext::More), this);
    More->setGeometry(328, 138, 33, 13);
    More->setFont(VerdanaFont());
    More->setToolTip(QString::fromLatin1(guitext::MoreHint));

    Bevel1 = new QFrame(this);
    Bevel1->setGeometry(8, 152, 353, 2); // a line along the top edge of its 353 x 6 area
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    Label3D1 = new TLabel3D(QString::fromLatin1(guitext::Maker), TLabel3D::Recessed, this);
    Label3D1->setGeometry(9, 159, 71, 13);
    Label3D1->setEnabled(false);
    Stat1 = new QLabel(this);
    Stat1->move(96, 158);
    Stat1->setFont(NarrowFont());

    Label3D2 = new TLabel3D(QString::fromLatin1(guitext::Family), TLabel3D::Raised, this);
    Label3D2->setGeometry(9, 175, 80, 13);
    Label3D2->setEnabled(false);
    Stat2 = new QLabel(this);
    Stat2->move(96, 174);
    Stat2->setFont(NarrowFont());

    Stats = new QTimer(this);
    Stats->setInterval(3141);
    connect(Stats, &QTimer::timeout, this, [this] { StatsTimer(); });
    connect(Action, &QPushButton::clicked, this, [this] { ActionClick(); });
    connect(More, &QAbstractButton::clicked, this, [this] { MoreClick(); });
    Stats->start();
}

TGui::~TGui() = default;

bool TGui::FormCreate(const std::string& captionArg, const std::string& folder,
                      IWindowBridge& bridge, std::string& error) {
    setWindowTitle(Local(MainCaption(captionArg, "")));
    error.clear(); // LoadJob expects an empty error text
    if (!LoadJob(folder, job_, error)) return false;
    setWindowTitle(Local(MainCaption(captionArg, job_.Settings().JobTitle)));
    MainFileName->SetFileName(Local(job_.Settings().SourcePath));
    worker_ = std::make_unique<Zeq>(job_, bridge);
    worker_->Start();
    return true;
}

void TGui::StatsTimer() {
    const TStatsFigures f = StatsFigures(job_, FreeSpace, TotalSpace);
    Progress->setRange(0, f.maximum);
    Progress->setValue(f.position);
    FileName->SetFileName(Local(f.currentPie));
    Stat1->setText(QString::fromStdString(f.memory));
    Stat1->adjustSize();
    Stat2->setText(QString::fromStdString(f.freeSpace));
    Stat2->adjustSize();
    if (f.finished) Quit();
}

void TGui::ActionClick() {
    Zeq* worker = job_.Worker;
    if (Action->text() == QLatin1String(guitext::Pause)) {
        avi->Stop();
        Action->setText(QString::fromLatin1(guitext::Paused));
        Action->setChecked(true);
        // The worker stops at its next safe point, between two reads or writes,
        // never while it holds something this thread may need.
        if (worker) worker->Pause();
    } else {
        if (worker) worker->Resume();
        Action->setChecked(false);
        Action->setText(QString::fromLatin1(guitext::Pause));
        avi->SetActive(true);
    }
}

void TGui::MoreClick() {
    if (More->text() == QLatin1String(guitext::More)) {
        More->setText(QString::fromLatin1(guitext::Less));
        setFixedSize(ClientWidth, ExpandedHeight);
    } else {
        More->setText(QString::fromLatin1(guitext::More));
        setFixedSize(ClientWidth, CollapsedHeight);
    }
}

void TGui::ShowPhase(const QString& notice, TCommonAVI clip) {
    Notice->setText(notice);
    Notice->adjustSize();
    avi->SetCommonAVI(clip);
    // A paused job keeps its clip still until it is resumed.
    avi->SetActive(Action->text() == QLatin1String(guitext::Pause));
}

void TGui::ShowCompareNotice() {
    ShowPhase(QString::fromLatin1(guitext::CompareNotice), aviFindFile);
}

void TGui::ShowJoinNotice() {
    ShowPhase(QString::fromLatin1(guitext::JoinNotice), aviFindComputer);
}

void TGui::WaitWorker() {
    if (worker_) worker_->Wait();
}

void TGui::closeEvent(QCloseEvent* event) {
    // The main window: closing it ends the program, whatever else is shown.
    QWidget::closeEvent(event);
    if (event->isAccepted()) Quit();
}
