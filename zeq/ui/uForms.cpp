#include "uForms.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

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
