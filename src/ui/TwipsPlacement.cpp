#include "ui/TwipsPlacement.h"

#include "ui/logic/Twips.h"

#include <QGuiApplication>
#include <QScreen>

namespace kesto {

namespace {

const QScreen* screenOf(const QWidget& window) {
    if (const QScreen* s = window.screen()) return s;
    return QGuiApplication::primaryScreen();
}

} // namespace

double twipsDpiX(const QWidget& window) {
    const QScreen* s = screenOf(window);
    return s ? s->logicalDotsPerInchX() : 96.0;
}

double twipsDpiY(const QWidget& window) {
    const QScreen* s = screenOf(window);
    return s ? s->logicalDotsPerInchY() : 96.0;
}

void TwipsPlacement::apply(QWidget& window) const {
    window.move(twipsToPixels(left, twipsDpiX(window)), twipsToPixels(top, twipsDpiY(window)));
}

TwipsPlacement TwipsPlacement::current(const QWidget& window) const {
    const QPoint at = window.pos();
    return {twipsToKeep(left, at.x(), twipsDpiX(window)),
            twipsToKeep(top, at.y(), twipsDpiY(window))};
}

} // namespace kesto
