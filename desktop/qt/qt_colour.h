// Conversions between the logic's 0x00BBGGRR colours and QColor.
#pragma once

#include <QColor>

#include "colour.h"

inline QColor ToQColor(Colour colour) {
    return {RedOf(colour), GreenOf(colour), BlueOf(colour)};
}

inline Colour FromQColor(const QColor& colour) {
    return MakeColour(static_cast<std::uint8_t>(colour.red()),
                      static_cast<std::uint8_t>(colour.green()),
                      static_cast<std::uint8_t>(colour.blue()));
}
