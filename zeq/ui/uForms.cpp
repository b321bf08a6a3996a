#include "uForms.h"

#include "DrawSteps.h"
#include "uZeqIcon.h"

#include <QGuiApplication>
#include <QPainter>
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
    QPixmap pixmap(ZeqIconSize, ZeqIconSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    DrawSteps(p, ZeqIconSteps());
    return QIcon(pixmap);
}
