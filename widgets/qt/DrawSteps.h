// Replays the toolkit-free drawing steps with a QPainter.
#pragma once

#include "Drawing.h"

#include <QColor>
#include <vector>

class QPainter;

inline QColor ToQColor(TColor c) {
    return QColor(c.r, c.g, c.b, c.a);
}
inline TColor ToColor(const QColor& c) {
    return {std::uint8_t(c.red()), std::uint8_t(c.green()), std::uint8_t(c.blue()),
            std::uint8_t(c.alpha())};
}

// Draws the steps in order, antialiased, over the painter's own transform.
void DrawSteps(QPainter& painter, const std::vector<TDrawStep>& steps);
