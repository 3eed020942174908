// The font of the program's windows and the placing of their controls.
#pragma once

#include <QFont>
#include <QWidget>
#include <utility>

// The layouts' pixel positions assume MS Sans Serif at 8 points (11 pixels); Arial and its metric
// twin Liberation Sans come closest where that font is missing.
inline void SetWindowFont(QWidget& window) {
    QFont font = window.font();
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans")});
    font.setPixelSize(11);
    window.setFont(font);
}

// A control of `parent` with its object name and its place in pixels, as the layouts give them.
template <typename T, typename... Args>
T* Make(QWidget* parent, const char* name, int left, int top, int width, int height,
        Args&&... args) {
    auto* widget = new T(std::forward<Args>(args)..., parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}
