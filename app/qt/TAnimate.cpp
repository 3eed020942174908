#include "app/qt/TAnimate.h"

#include <QPainter>
#include <cmath>
#include <numbers>

namespace {
constexpr int kFrameCount = 8;
constexpr int kFrameMilliseconds = 120;
} // namespace

TAnimate::TAnimate(QWidget* parent) : QWidget(parent) {
    connect(&Timer_, &QTimer::timeout, this, [this] {
        Frame_ = Frame_ % kFrameCount + 1;
        update();
    });
}

void TAnimate::Start() {
    Frame_ = 1;
    Timer_.start(kFrameMilliseconds);
}

void TAnimate::Stop() {
    Timer_.stop();
    Frame_ = 1;
    update();
}

void TAnimate::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // The computer: a screen on a stand.
    const QRectF screen(6, 8, 24, 17);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(QColor(0xC0, 0xC0, 0xC0));
    painter.drawRect(screen);
    painter.setBrush(QColor(0x00, 0x80, 0x80));
    painter.drawRect(screen.adjusted(3, 3, -3, -3));
    painter.setBrush(QColor(0xC0, 0xC0, 0xC0));
    painter.drawRect(QRectF(12, 25, 12, 3));
    painter.drawRect(QRectF(6, 28, 24, 4));

    // The magnifying glass circles over it, one eighth of a turn per frame.
    const double angle = 2.0 * std::numbers::pi * (Frame_ - 1) / kFrameCount;
    const QPointF centre(21 + 8 * std::cos(angle), 18 + 8 * std::sin(angle));
    painter.setPen(QPen(QColor(0x80, 0x40, 0x00), 3));
    painter.drawLine(centre + QPointF(4, 4), centre + QPointF(10, 10));
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(QColor(0xE0, 0xF0, 0xFF, 0xB0));
    painter.drawEllipse(centre, 6, 6);
}
