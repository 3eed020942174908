// The progress animation: a magnifying glass searching over a computer, eight frames
// repeating without end while it runs.
#pragma once

#include <QTimer>
#include <QWidget>

class TAnimate : public QWidget {
    Q_OBJECT
public:
    explicit TAnimate(QWidget* parent);

    void Start();
    void Stop();
    bool Active() const { return Timer_.isActive(); }
    int Frame() const { return Frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer Timer_;
    int Frame_ = 1;
};
