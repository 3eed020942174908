// The font of the program's windows.
#pragma once

#include <QFont>
#include <QWidget>

// The layouts' pixel positions assume MS Sans Serif at 8 points (11 pixels); Arial and its metric
// twin Liberation Sans come closest where that font is missing.
inline void SetWindowFont(QWidget& window) {
    QFont font = window.font();
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans")});
    font.setPixelSize(11);
    window.setFont(font);
}
