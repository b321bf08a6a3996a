#include "uForms.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <memory>

QString Local(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

QFont WindowFont(const QStringList& families, int pixelHeight) {
    QFont font;
    font.setFamilies(families); // the first family the system has is taken
    font.setPixelSize(pixelHeight);
    return font;
}

QFont VerdanaFont() {
    return WindowFont({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")}, 11);
}

QFont NarrowFont() {
    return WindowFont({QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow"),
                       QStringLiteral("Nimbus Sans Narrow"),
                       QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")},
                      11);
}

QFont DialogFont() {
    return WindowFont({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                       QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                       QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans Condensed"),
                       QStringLiteral("DejaVu Sans")},
                      11);
}

void PlaceCentred(QWidget* window, int clientWidth, int clientHeight) {
    window->setFixedSize(clientWidth, clientHeight);
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    window->move(area.x() + (area.width() - clientWidth) / 2,
                 area.y() + (area.height() - clientHeight) / 2);
}

QIcon ZeqIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF pie(2.5, 4.5, 27, 25);
    // The dish, then the pie with a slice missing, then the slice set apart.
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.setBrush(QColor(190, 200, 220));
    p.drawEllipse(QRectF(1.5, 8.5, 29, 22));
    p.setBrush(QColor(214, 150, 60));
    p.drawPie(pie, 60 * 16, 300 * 16);
    p.setBrush(QColor(236, 190, 110));
    p.drawPie(pie.translated(3, -3), 0, 60 * 16);
    return QIcon(pixmap);
}

QMessageBox* MakeMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                            MsgIcon icon, MsgButtons buttons) {
    QString body = Local(text);
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
    auto* box = new QMessageBox(qIcon, Local(caption), body, qButtons, owner);
    // The first button is the default one, as in the system's own boxes.
    box->setDefaultButton(buttons == MsgButtons::YesNo ? QMessageBox::Yes : QMessageBox::Ok);
    return box;
}

MsgAnswer AnswerOf(int result, MsgButtons buttons) {
    switch (result) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default: // closed without a button: the box's escape answer
        return buttons == MsgButtons::YesNo ? MsgAnswer::No
               : buttons == MsgButtons::Ok  ? MsgAnswer::Ok
                                            : MsgAnswer::Cancel;
    }
}

MsgAnswer ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         MsgIcon icon, MsgButtons buttons) {
    std::unique_ptr<QMessageBox> box(MakeMessageBox(owner, text, caption, icon, buttons));
    return AnswerOf(box->exec(), buttons);
}
