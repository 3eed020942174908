#include "app/qt/MessageBoxes.h"

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

TMessageDialog::TMessageDialog(QWidget* parent, const TBoxRequest& request) : QDialog(parent) {
    setWindowTitle(QString::fromStdString(request.Caption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(
        style()->standardIcon(IconOf(request.Kind), nullptr, this).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto* message = new QLabel(DisplayText(request.Text), this);
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
    for (const TBoxButton& button : request.Buttons) {
        QPushButton* added =
            AddButton(button.Name.c_str(), QString::fromStdString(button.Caption), button.Result);
        row->addWidget(added);
        if (button.Name == request.CancelButton) {
            CancelButton_ = added;
        }
    }
    row->addStretch(1);
    // The tab order of the request: each named button moved to the front, last one first.
    for (auto name = request.TabOrder.rbegin(); name != request.TabOrder.rend(); ++name) {
        if (auto* button = findChild<QPushButton*>(QString::fromStdString(*name))) {
            MoveToFrontOfTabOrder(button);
        }
    }

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
    TMessageDialog box(QApplication::activeWindow(), InformationBox(text));
    RunFramedBox(box);
}

void ShowError(const std::string& text) {
    TMessageDialog box(QApplication::activeWindow(), ErrorBox(text));
    RunFramedBox(box);
}

bool AskYesNo(const std::string& text) {
    TMessageDialog box(QApplication::activeWindow(), QuestionBox(text));
    return RunFramedBox(box) == mrYes;
}

void ShowFailure(const std::string& message) {
    ShowFailureBox(ApplicationTitle(), ApplyPeriodRule(message));
}

void ShowFailureBox(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption), DisplayText(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString DisplayText(const std::string& text) {
    QString result = QString::fromStdString(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}
