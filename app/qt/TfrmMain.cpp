#include "app/qt/TfrmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/ApplicationTitle.h"
#include "app/qt/MessageBoxes.h"
#include "app/qt/TAnimate.h"
#include "app/qt/TfrmChoiceFolder.h"
#include "app/qt/WindowFont.h"
#include "platform/Path.h"

namespace {

// A horizontal line along the bottom edge of its area.
class TBevel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(0, height() - 2, width() - 1, height() - 2);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(0, height() - 1, width() - 1, height() - 1);
    }
};

} // namespace

TfrmMain::TfrmMain(TMainCommands commands, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      Logic_(*this, std::move(commands)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Updater"));
    setFixedSize(433, 393);
    SetWindowFont(*this);

    gbConnection =
        Make<QGroupBox>(this, "gbConnection", 8, 15, 417, 138, QStringLiteral(" Подключение  "));
    lProgramLocation = Make<QLabel>(gbConnection, "lProgramLocation", 8, 25, 167, 13,
                                    QStringLiteral("Путь к обновляемой программе:"));
    eProgramLocation = Make<QLineEdit>(gbConnection, "eProgramLocation", 8, 40, 369, 21);
    bbProgramLocation = Make<QPushButton>(gbConnection, "bbProgramLocation", 384, 38, 24, 24,
                                          QStringLiteral("..."));
    lPassword = Make<QLabel>(gbConnection, "lPassword", 8, 71, 41, 13, QStringLiteral("Пароль:"));
    ePassword = Make<QLineEdit>(gbConnection, "ePassword", 8, 85, 145, 21);
    ePassword->setEchoMode(QLineEdit::Password);
    ePassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    Label1 = Make<QLabel>(
        gbConnection, "Label1", 8, 105, 402, 13,
        QStringLiteral(
            "(требуется при обновлении сервера; как правило, принимается по умолчанию)"));

    gbLog = Make<QGroupBox>(this, "gbLog", 8, 169, 417, 168, QStringLiteral(" Лог скрипта "));
    mLog = new QPlainTextEdit(gbLog);
    mLog->setObjectName(QStringLiteral("mLog"));
    mLog->setReadOnly(true);
    mLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    mLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* logLayout = new QVBoxLayout(gbLog);
    logLayout->setContentsMargins(2, 2, 2, 2);
    logLayout->addWidget(mLog);

    Bevel1 = Make<TBevel>(this, "Bevel1", 0, 342, 433, 10);

    pBtn = Make<QWidget>(this, "pBtn", 0, 352, 433, 41);
    aProgress = Make<TAnimate>(pBtn, "aProgress", 0, 1, 41, 41);
    aProgress->hide();
    lProgress =
        Make<QLabel>(pBtn, "lProgress", 50, 15, 120, 13, QStringLiteral("Идет обновление ..."));
    QFont bold = font();
    bold.setBold(true);
    lProgress->setFont(bold);
    QPalette maroon = lProgress->palette();
    maroon.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    lProgress->setPalette(maroon);
    lProgress->hide();

    OKBtn = Make<QPushButton>(pBtn, "OKBtn", 190, 8, 75, 25, QStringLiteral("Старт"));
    OKBtn->setToolTip(QStringLiteral("Запустить обновление"));
    bOnline = Make<QPushButton>(pBtn, "bOnline", 270, 8, 75, 25, QStringLiteral("OnLine"));
    bOnline->setToolTip(QStringLiteral("Перевод базы данных в многопользовательский режим"));
    CancelBtn = Make<QPushButton>(pBtn, "CancelBtn", 350, 8, 75, 25, QStringLiteral("Закрыть"));
    CancelBtn->setToolTip(QStringLiteral("Выход из программы"));
    // No button is the window's default: Enter in the window presses nothing.
    for (QPushButton* button : {bbProgramLocation, OKBtn, bOnline, CancelBtn}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    QWidget::setTabOrder(eProgramLocation, bbProgramLocation);
    QWidget::setTabOrder(bbProgramLocation, ePassword);
    QWidget::setTabOrder(ePassword, mLog);
    QWidget::setTabOrder(mLog, OKBtn);
    QWidget::setTabOrder(OKBtn, bOnline);
    QWidget::setTabOrder(bOnline, CancelBtn);

    connect(OKBtn, &QPushButton::clicked, this, &TfrmMain::OKBtnClick);
    connect(bOnline, &QPushButton::clicked, this, &TfrmMain::bOnlineClick);
    connect(bbProgramLocation, &QPushButton::clicked, this, &TfrmMain::bbProgramLocationClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TfrmMain::CancelBtnClick);

    Logic_.FormCreate(QCoreApplication::applicationFilePath().toStdString());

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    eProgramLocation->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::OKBtnClick() {
    Logic_.OKBtnClick();
}

void TfrmMain::bOnlineClick() {
    Logic_.bOnlineClick();
}

void TfrmMain::bbProgramLocationClick() {
    Logic_.bbProgramLocationClick();
}

void TfrmMain::CancelBtnClick() {
    Logic_.CancelBtnClick();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (!Logic_.CloseQuery()) {
        // Boxes opened outside the logic (the folder chooser's) close at once too.
        SetProgramEnding(true);
        event->ignore();
        return;
    }
    event->accept();
}

std::string TfrmMain::RootText() const {
    return eProgramLocation->text().toStdString();
}

void TfrmMain::SetRootText(const std::string& text) {
    eProgramLocation->setText(QString::fromStdString(text));
}

std::string TfrmMain::PasswordText() const {
    return ePassword->text().toStdString();
}

void TfrmMain::SetPasswordText(const std::string& text) {
    ePassword->setText(QString::fromStdString(text));
}

void TfrmMain::SetTitle(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
}

void TfrmMain::SetControlsEnabled(bool enabled) {
    gbConnection->setEnabled(enabled);
    pBtn->setEnabled(enabled);
}

void TfrmMain::SetProgressShown(bool shown) {
    lProgress->setVisible(shown);
    aProgress->setVisible(shown);
    shown ? aProgress->Start() : aProgress->Stop();
}

void TfrmMain::CloseWindow() {
    close();
}

int TfrmMain::ShowBox(const TBoxRequest& box) {
    TMessageDialog dialog(QApplication::activeWindow(), box);
    return dialog.exec();
}

void TfrmMain::ShowFailureBox(const std::string& caption, const std::string& text) {
    ::ShowFailureBox(caption, text);
}

std::optional<std::string> TfrmMain::ChooseFolder(const std::string& root, TOperator& op) {
    return ChooseFolderWithDialog(this, root, op);
}

void TfrmMain::LogClear() {
    mLog->clear();
}

void TfrmMain::LogAppend(const std::string& line) {
    QTextCursor cursor = mLog->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromStdString(line) + QLatin1Char('\n'));
    mLog->setTextCursor(cursor);
    mLog->ensureCursorVisible();
}

void TfrmMain::ProcessEvents() {
    QCoreApplication::processEvents();
}
