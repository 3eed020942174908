// Acting on a modal box from inside its own event loop, as an operator would.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Runs `action` on the next modal window that opens (polling, so it works for boxes opened
// deep inside a command). The watch ends when the returned object goes, so that an action
// that never ran cannot touch a finished test's variables.
// An action records what the box showed and answers it; the test compares afterwards. Should the
// box still be open some time after the action (an action that returned early), it is closed
// here, so that the test goes on to fail instead of waiting for its time-out. The check waits,
// since some answers land later (a mnemonic key presses its button after a short animation).
[[nodiscard]] inline std::unique_ptr<QTimer> OnNextModal(std::function<void(QWidget*)> action) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(5);
    QObject::connect(timer.get(), &QTimer::timeout,
                     [timer = timer.get(), action = std::move(action)] {
                         if (QWidget* modal = QApplication::activeModalWidget()) {
                             timer->stop();
                             action(modal);
                             QTimer::singleShot(3000, modal, [modal] {
                                 if (modal->isVisible()) {
                                     modal->close();
                                 }
                             });
                         }
                     });
    timer->start();
    return timer;
}

// Presses Start (OKBtn) in `window`, answers the update question Yes and the box that follows
// OK, and returns the texts of both boxes. `onQuestion` and `onResult` see each box before it is
// answered.
inline QStringList StartAnsweringYes(QWidget& window,
                                     const std::function<void(QWidget*)>& onQuestion = {},
                                     const std::function<void(QWidget*)>& onResult = {}) {
    QStringList boxes;
    std::unique_ptr<QTimer> nextBox;
    auto watch = OnNextModal([&](QWidget* question) {
        if (onQuestion) {
            onQuestion(question);
        }
        boxes << question->findChild<QLabel*>(QStringLiteral("Message"))->text();
        nextBox = OnNextModal([&](QWidget* result) {
            if (onResult) {
                onResult(result);
            }
            boxes << result->findChild<QLabel*>(QStringLiteral("Message"))->text();
            result->findChild<QPushButton*>(QStringLiteral("OK"))->click();
        });
        question->findChild<QPushButton*>(QStringLiteral("Yes"))->click();
    });
    window.findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
    return boxes;
}
