// Acting on a modal box from inside its own event loop, as an operator would.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Runs `action` on the next modal window that opens (polling, so it works for boxes opened
// deep inside a command). The watch ends when the returned object goes, so that an action
// that never ran cannot touch a finished test's variables.
[[nodiscard]] inline std::unique_ptr<QTimer> OnNextModal(std::function<void(QWidget*)> action) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(5);
    QObject::connect(timer.get(), &QTimer::timeout,
                     [timer = timer.get(), action = std::move(action)] {
                         if (QWidget* modal = QApplication::activeModalWidget()) {
                             timer->stop();
                             action(modal);
                         }
                     });
    timer->start();
    return timer;
}
