#pragma once
// A window's position in twips, as the settings file keeps it, applied to
// and read back from a real window through its screen's logical resolution.

#include <QWidget>

#include <cstdint>

namespace kesto {

struct TwipsPlacement {
    std::int16_t left = 0;
    std::int16_t top = 0;

    // Moves the window's frame to this position.
    void apply(QWidget& window) const;
    // The window's current frame position in twips; a window that has not
    // moved since apply() keeps exactly the twips it was placed at.
    TwipsPlacement current(const QWidget& window) const;
};

// The screen resolution used for twips: the logical dots per inch of the
// window's screen (96 when there is no screen).
double twipsDpiX(const QWidget& window);
double twipsDpiY(const QWidget& window);

} // namespace kesto
