#include "uForms.h"

#include "DrawSteps.h"
#include "uFaces.h"
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

namespace {
QFont FirstOf(const TFaceList& faces) {
    QStringList families;
    for (const char* face : faces)
        families << QString::fromLatin1(face);
    return WindowFont(families, FacePixelHeight);
}
} // namespace

QFont VerdanaFont() {
    return FirstOf(VerdanaFaces());
}

QFont NarrowFont() {
    return FirstOf(NarrowFaces());
}

QFont DialogFont() {
    return FirstOf(DialogFaces());
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
