#include "app/MessageBoxes.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "app/ApplicationTitle.h"

namespace {

bool gProgramEnding = false;

QString Caption(TBoxKind kind) {
    return kind == TBoxKind::Information ? QStringLiteral("Information") : QStringLiteral("Error");
}

QStyle::StandardPixmap IconOf(TBoxKind kind) {
    return kind == TBoxKind::Information ? QStyle::SP_MessageBoxInformation
                                         : QStyle::SP_MessageBoxCritical;
}

// The letter after the ampersand of a caption, upper-cased; 0 when there is none.
int AccessKey(const QString& caption) {
    const auto amp = caption.indexOf(QLatin1Char('&'));
    if (amp < 0 || amp + 1 >= caption.size()) {
        return 0;
    }
    return caption.at(amp + 1).toUpper().unicode();
}

int RunFramedBox(TMessageDialog& box) {
    if (gProgramEnding) {
        return mrClosed;
    }
    return box.exec();
}

} // namespace

TMessageDialog::TMessageDialog(QWidget* parent, TBoxKind kind, const std::string& text,
                               TBoxButtons buttons)
    : QDialog(parent) {
    setWindowTitle(Caption(kind));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(IconOf(kind), nullptr, this).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto* message = new QLabel(DisplayText(text), this);
    message->setObjectName(QStringLiteral("Message"));
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(true);
    message->setMinimumWidth(240);
    message->setMaximumWidth(480);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addWidget(message, 1);

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    if (buttons == TBoxButtons::YesNo) {
        row->addWidget(AddButton("Yes", QStringLiteral("&Yes"), mrYes));
        row->addWidget(CancelButton_ = AddButton("No", QStringLiteral("&No"), mrNo));
    } else {
        row->addWidget(CancelButton_ = AddButton("OK", QStringLiteral("OK"), mrOk));
    }
    row->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QPushButton* TMessageDialog::AddButton(const char* name, const QString& caption, int result) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(true);
    connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    if (!TabOrder_.isEmpty()) {
        QWidget::setTabOrder(TabOrder_.back(), button);
    }
    TabOrder_.push_back(button);
    return button;
}

void TMessageDialog::MoveToFrontOfTabOrder(QPushButton* button) {
    if (!TabOrder_.removeOne(button)) {
        return;
    }
    TabOrder_.push_front(button);
    for (qsizetype i = 1; i < TabOrder_.size(); ++i) {
        QWidget::setTabOrder(TabOrder_[i - 1], TabOrder_[i]);
    }
}

void TMessageDialog::reject() {
    // Closing by the title bar or the system's close command.
    done(mrClosed);
}

void TMessageDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    QPushButton* first = TabOrder_.front();
    first->setDefault(true);
    first->setFocus(Qt::OtherFocusReason);
}

void TMessageDialog::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        for (QPushButton* button : TabOrder_) {
            if (button->hasFocus()) {
                button->click();
                return;
            }
        }
        TabOrder_.front()->click();
        return;
    }
    if (key == Qt::Key_Escape) {
        CancelButton_->click();
        return;
    }
    const auto modifiers = event->modifiers() & ~(Qt::AltModifier | Qt::KeypadModifier);
    if (modifiers == Qt::NoModifier) {
        for (QPushButton* button : TabOrder_) {
            const int access = AccessKey(button->text());
            if (access != 0 && access == key) {
                button->click();
                return;
            }
        }
    }
    QDialog::keyPressEvent(event);
}

void SetProgramEnding(bool ending) {
    gProgramEnding = ending;
}

bool ProgramEnding() {
    return gProgramEnding;
}

void ShowInformation(const std::string& text) {
    TMessageDialog box(QApplication::activeWindow(), TBoxKind::Information, text, TBoxButtons::Ok);
    RunFramedBox(box);
}

void ShowError(const std::string& text) {
    TMessageDialog box(QApplication::activeWindow(), TBoxKind::Error, text, TBoxButtons::Ok);
    RunFramedBox(box);
}

bool AskYesNo(const std::string& text) {
    TMessageDialog box(QApplication::activeWindow(), TBoxKind::Information, text,
                       TBoxButtons::YesNo);
    if (auto* no = box.findChild<QPushButton*>(QStringLiteral("No"))) {
        box.MoveToFrontOfTabOrder(no);
    }
    return RunFramedBox(box) == mrYes;
}

std::string ApplyPeriodRule(const std::string& message) {
    if (message.empty()) {
        return message;
    }
    // The text is UTF-8. An ASCII last character keeps its own byte value; any other character
    // becomes a code-page-1251 byte of 0x80 or more (or "?" where it has none), always greater
    // than the full stop.
    const auto last = static_cast<unsigned char>(message.back());
    const bool greater = last >= 0x80 || last > '.';
    return greater ? message + "." : message;
}

void ShowFailure(const std::string& message) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(ApplicationTitle()),
                    DisplayText(ApplyPeriodRule(message)), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString DisplayText(const std::string& text) {
    QString result = QString::fromStdString(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}
