// The main window: its controls, the handlers' order of steps, and the commands' endings, on a
// real window (offscreen).
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "app/ApplicationTitle.h"
#include "app/qt/MessageBoxes.h"
#include "app/qt/TAnimate.h"
#include "app/qt/TfrmMain.h"
#include "platform/Failure.h"
#include "platform/Path.h"
#include "tests/app/ModalHelper.h"
#include "tests/support/TempFolder.h"

namespace {

template <typename T = QWidget> T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no control %s", name);
    }
    return child;
}

// What the window looked like at one moment.
struct TWindowState {
    bool ConnectionEnabled = false;
    bool ButtonsEnabled = false;
    bool LogEnabled = false;
    bool ProgressShown = false;
    bool Animating = false;
};

TWindowState StateOf(QWidget& window) {
    return {Child(window, "gbConnection")->isEnabled(), Child(window, "pBtn")->isEnabled(),
            Child(window, "gbLog")->isEnabled(), Child(window, "lProgress")->isVisible(),
            Child<TAnimate>(window, "aProgress")->Active()};
}

// Shows the window and waits until it is on screen.
void Open(QWidget& window) {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

QString FailureBoxText(std::function<void()> trigger, TWindowState* stateAtBox = nullptr,
                       QWidget* window = nullptr) {
    QString text;
    auto watch = OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            text = QStringLiteral("<not a failure box: %1>").arg(modal->windowTitle());
            modal->close();
            return;
        }
        if (stateAtBox != nullptr) {
            *stateAtBox = StateOf(*window);
        }
        text = box->windowTitle() + QLatin1Char('|') + box->text();
        box->button(QMessageBox::Ok)->click();
    });
    trigger();
    return text;
}

} // namespace

class tst_TfrmMain : public QObject {
    Q_OBJECT
private slots:
    void controlsMatchTheLayout();
    void defaultsAndFocus();
    void tabOrderFollowsTheTable();
    void titleFollowsTheExecutableName();
    void titleFollowsARenamedExecutable();
    void startDisablesWhileRunningAndShowsFailureAfterRestore();
    void startWithEmptyRootReportsNotFound();
    void answeringNoLeavesTheWindowIdle();
    void startPassesTheFieldsUntrimmed();
    void logPaneAppendsAtTheEndAndClears();
    void onlineDisablesWithoutIndicator();
    void folderChooserReplacesOnlyTheRoot();
    void folderChooserFailureReachesTheFailureBox();
    void onlineShowsItsOwnBoxThroughTheWindow();
    void closingWhileRunningEndsAfterTheCommand();
    void enterInTheWindowPressesNothing();
};

void tst_TfrmMain::controlsMatchTheLayout() {
    TfrmMain window(TMainCommands{});
    QCOMPARE(window.size(), QSize(433, 393));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);

    struct TControl {
        const char* Name;
        const char* Parent;
        QRect Geometry;
    };
    const TControl controls[] = {
        {"gbConnection", "frmMain", {8, 15, 417, 138}},
        {"lProgramLocation", "gbConnection", {8, 25, 167, 13}},
        {"eProgramLocation", "gbConnection", {8, 40, 369, 21}},
        {"bbProgramLocation", "gbConnection", {384, 38, 24, 24}},
        {"lPassword", "gbConnection", {8, 71, 41, 13}},
        {"ePassword", "gbConnection", {8, 85, 145, 21}},
        {"Label1", "gbConnection", {8, 105, 402, 13}},
        {"gbLog", "frmMain", {8, 169, 417, 168}},
        {"Bevel1", "frmMain", {0, 342, 433, 10}},
        {"pBtn", "frmMain", {0, 352, 433, 41}},
        {"aProgress", "pBtn", {0, 1, 41, 41}},
        {"lProgress", "pBtn", {50, 15, 120, 13}},
        {"OKBtn", "pBtn", {190, 8, 75, 25}},
        {"bOnline", "pBtn", {270, 8, 75, 25}},
        {"CancelBtn", "pBtn", {350, 8, 75, 25}},
    };
    for (const TControl& control : controls) {
        QWidget* widget = Child(window, control.Name);
        QCOMPARE(widget->geometry(), control.Geometry);
        QCOMPARE(widget->parentWidget()->objectName(), QString::fromLatin1(control.Parent));
    }
    QCOMPARE(Child(window, "mLog")->parentWidget(), Child(window, "gbLog"));

    QCOMPARE(Child<QGroupBox>(window, "gbConnection")->title(), QStringLiteral(" Подключение  "));
    QCOMPARE(Child<QGroupBox>(window, "gbLog")->title(), QStringLiteral(" Лог скрипта "));
    QCOMPARE(Child<QLabel>(window, "lProgramLocation")->text(),
             QStringLiteral("Путь к обновляемой программе:"));
    QCOMPARE(Child<QLabel>(window, "lPassword")->text(), QStringLiteral("Пароль:"));
    QCOMPARE(Child<QLabel>(window, "Label1")->text(),
             QStringLiteral(
                 "(требуется при обновлении сервера; как правило, принимается по умолчанию)"));
    QCOMPARE(Child<QLabel>(window, "lProgress")->text(), QStringLiteral("Идет обновление ..."));
    QVERIFY(Child<QLabel>(window, "lProgress")->font().bold());
    QCOMPARE(Child<QLabel>(window, "lProgress")->palette().color(QPalette::WindowText),
             QColor(0x80, 0x00, 0x00));

    struct TButton {
        const char* Name;
        const char* Caption;
        const char* Tooltip;
    };
    const TButton buttons[] = {
        {"bbProgramLocation", "...", ""},
        {"OKBtn", "Старт", "Запустить обновление"},
        {"bOnline", "OnLine", "Перевод базы данных в многопользовательский режим"},
        {"CancelBtn", "Закрыть", "Выход из программы"},
    };
    for (const TButton& button : buttons) {
        auto* widget = Child<QPushButton>(window, button.Name);
        QCOMPARE(widget->text(), QString::fromUtf8(button.Caption));
        QCOMPARE(widget->toolTip(), QString::fromUtf8(button.Tooltip));
    }

    auto* log = Child<QPlainTextEdit>(window, "mLog");
    QVERIFY(log->isReadOnly());
    QCOMPARE(log->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(Child<QLineEdit>(window, "ePassword")->echoMode(), QLineEdit::Password);

    QVERIFY(Child(window, "lProgress")->isHidden());
    QVERIFY(Child(window, "aProgress")->isHidden());
    QVERIFY(!Child<TAnimate>(window, "aProgress")->Active());
}

void tst_TfrmMain::defaultsAndFocus() {
    TfrmMain window(TMainCommands{});
    Open(window);
    QCOMPARE(Child<QLineEdit>(window, "eProgramLocation")->text(),
             QString::fromUtf8(platform::DefaultInstallationRoot));
    QCOMPARE(Child<QLineEdit>(window, "ePassword")->text(), QStringLiteral("mirdelkoza"));
    QCOMPARE(window.focusWidget(), Child(window, "eProgramLocation"));
    QVERIFY(Child<QPlainTextEdit>(window, "mLog")->toPlainText().isEmpty());
}

void tst_TfrmMain::tabOrderFollowsTheTable() {
    TfrmMain window(TMainCommands{});
    Open(window);
    QStringList order;
    QWidget* widget = Child(window, "eProgramLocation");
    for (int i = 0; i < 7; ++i) {
        order << widget->objectName();
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(&window) ||
               widget->objectName().isEmpty()) {
            widget = widget->nextInFocusChain();
        }
    }
    QCOMPARE(order, (QStringList{"eProgramLocation", "bbProgramLocation", "ePassword", "mLog",
                                 "OKBtn", "bOnline", "CancelBtn"}));
}

void tst_TfrmMain::titleFollowsTheExecutableName() {
    // The renamed copy started by titleFollowsARenamedExecutable says what it expects.
    const QString expected =
        qEnvironmentVariable("UPDATER_EXPECTED_TITLE", QStringLiteral("tst_TfrmMain"));
    TfrmMain window(TMainCommands{});
    QCOMPARE(window.windowTitle(), expected);
    QCOMPARE(QString::fromStdString(ApplicationTitle()), expected);

    // The failure box carries the same caption.
    TMainCommands commands;
    commands.Update = [](const std::string&, const std::string&, TOperator&) {
        throw EFailure("Сбой");
    };
    TfrmMain failing(commands);
    Open(failing);
    QCOMPARE(FailureBoxText([&] { Child<QPushButton>(failing, "OKBtn")->click(); }),
             expected + QStringLiteral("|Сбой."));

    QCOMPARE(TitleFromExecutablePath("/opt/a.b/Updater.v4.exe"), std::string("Updater.v4"));
    QCOMPARE(TitleFromExecutablePath("C:\\Q\\Updater.exe"), std::string("Updater"));
    QCOMPARE(TitleFromExecutablePath("/usr/bin/Updater"), std::string("Updater"));
}

void tst_TfrmMain::titleFollowsARenamedExecutable() {
    if (!qEnvironmentVariable("UPDATER_EXPECTED_TITLE").isEmpty()) {
        QSKIP("running as the renamed copy");
    }
    TTempFolder temp;
    const QString copy = QString::fromStdString(temp.Str()) + "/Kormant Update 4.1.exe";
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    QVERIFY(QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOwner));

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("UPDATER_EXPECTED_TITLE", "Kormant Update 4.1");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(environment);
    child.start(copy, {"titleFollowsTheExecutableName"});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAllStandardOutput();
    QVERIFY2(child.exitCode() == 0, output.constData());
    QVERIFY(output.contains("PASS   : tst_TfrmMain::titleFollowsTheExecutableName()"));
}

void tst_TfrmMain::startDisablesWhileRunningAndShowsFailureAfterRestore() {
    TWindowState during;
    TMainCommands commands;
    QWidget* self = nullptr;
    int runs = 0;
    commands.Update = [&](const std::string&, const std::string&, TOperator& op) {
        ++runs;
        during = StateOf(*self);
        // While the command runs, the buttons and fields do not react.
        QTest::mouseClick(Child(*self, "OKBtn"), Qt::LeftButton);
        QTest::mouseClick(Child(*self, "CancelBtn"), Qt::LeftButton);
        QTest::keyClicks(Child(*self, "eProgramLocation"), "xyz");
        op.ProcessEvents();
        throw EFailure("Ошибка сервера 335544344");
    };
    TfrmMain window(commands);
    self = &window;
    Open(window);

    TWindowState atBox;
    const QString shown = FailureBoxText(
        [&] { QTest::mouseClick(Child(window, "OKBtn"), Qt::LeftButton); }, &atBox, &window);

    QCOMPARE(runs, 1);
    QVERIFY(window.isVisible());
    QCOMPARE(Child<QLineEdit>(window, "eProgramLocation")->text(),
             QString::fromUtf8(platform::DefaultInstallationRoot));
    QVERIFY(!during.ConnectionEnabled);
    QVERIFY(!during.ButtonsEnabled);
    QVERIFY(during.LogEnabled);
    QVERIFY(during.ProgressShown);
    QVERIFY(during.Animating);

    QCOMPARE(shown, QStringLiteral("tst_TfrmMain|Ошибка сервера 335544344."));
    // The failure box opens over a window that is usable again.
    QVERIFY(atBox.ConnectionEnabled);
    QVERIFY(atBox.ButtonsEnabled);
    QVERIFY(!atBox.ProgressShown);
    QVERIFY(!atBox.Animating);
    QVERIFY(!window.CommandRunning());
}

void tst_TfrmMain::startWithEmptyRootReportsNotFound() {
    TfrmMain window;
    Open(window);
    Child<QLineEdit>(window, "eProgramLocation")->clear();
    TWindowState atBox;
    const QString shown =
        FailureBoxText([&] { Child<QPushButton>(window, "OKBtn")->click(); }, &atBox, &window);
    QCOMPARE(shown, QStringLiteral("tst_TfrmMain|Путь к обновляемой программе \"\" не найден!"));
    QVERIFY(atBox.ButtonsEnabled && atBox.ConnectionEnabled && !atBox.ProgressShown);
}

void tst_TfrmMain::answeringNoLeavesTheWindowIdle() {
    TTempFolder temp;
    temp.MakeFile("Program/Kormant.exe");
    TfrmMain window;
    Open(window);
    Child<QLineEdit>(window, "eProgramLocation")->setText(QString::fromStdString(temp.Str()));

    int boxes = 0;
    TWindowState atQuestion;
    QString question;
    std::unique_ptr<QTimer> further;
    auto watch = OnNextModal([&](QWidget* box) {
        ++boxes;
        atQuestion = StateOf(window);
        question = box->findChild<QLabel*>("Message")->text();
        QTest::keyClick(box->focusWidget(), Qt::Key_Return);
        // Anything opening after the answer would be a further message.
        further = OnNextModal([&](QWidget* more) {
            ++boxes;
            more->close();
        });
    });
    Child<QPushButton>(window, "OKBtn")->click();
    QTest::qWait(50);

    QCOMPARE(boxes, 1);
    QVERIFY(question.endsWith(QStringLiteral("КЛИЕНТСКАЯ часть обновляемой программы.\n"
                                             "Продолжить обновление?")));
    // The indicator is already shown while the question is asked.
    QVERIFY(atQuestion.ProgressShown && atQuestion.Animating && !atQuestion.ButtonsEnabled);
    const TWindowState after = StateOf(window);
    QVERIFY(after.ConnectionEnabled && after.ButtonsEnabled && !after.ProgressShown);
    QVERIFY(!after.Animating);
}

void tst_TfrmMain::startPassesTheFieldsUntrimmed() {
    std::string root;
    std::string password;
    TMainCommands commands;
    commands.Update = [&](const std::string& r, const std::string& p, TOperator&) {
        root = r;
        password = p;
    };
    TfrmMain window(commands);
    Open(window);
    Child<QLineEdit>(window, "eProgramLocation")->setText(QStringLiteral("  /opt/Кормант/ "));
    Child<QLineEdit>(window, "ePassword")->setText(QStringLiteral(" пароль "));
    Child<QPushButton>(window, "OKBtn")->click();
    QCOMPARE(root, std::string("  /opt/Кормант/ "));
    QCOMPARE(password, std::string(" пароль "));
}

void tst_TfrmMain::logPaneAppendsAtTheEndAndClears() {
    TMainCommands commands;
    QWidget* self = nullptr;
    QString midway;
    commands.Update = [&](const std::string&, const std::string&, TOperator& op) {
        op.LogAppend("old line");
        op.LogClear();
        for (int i = 1; i <= 200; ++i) {
            op.LogAppend("строка " + std::to_string(i));
            op.ProcessEvents();
        }
        midway = Child<QPlainTextEdit>(*self, "mLog")->toPlainText();
    };
    TfrmMain window(commands);
    self = &window;
    Open(window);
    Child<QPushButton>(window, "OKBtn")->click();

    auto* log = Child<QPlainTextEdit>(window, "mLog");
    QVERIFY(midway.startsWith(QStringLiteral("строка 1\nстрока 2\n")));
    QVERIFY(midway.endsWith(QStringLiteral("строка 200\n")));
    QVERIFY(!midway.contains(QStringLiteral("old line")));
    QCOMPARE(log->textCursor().position(), log->document()->characterCount() - 1);
    // The view follows the newest line.
    QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
}

void tst_TfrmMain::onlineDisablesWithoutIndicator() {
    TWindowState during;
    TMainCommands commands;
    QWidget* self = nullptr;
    std::string password;
    commands.Online = [&](const std::string&, const std::string& p, TOperator&) {
        password = p;
        during = StateOf(*self);
        throw EFailure("Не задан пароль!");
    };
    TfrmMain window(commands);
    self = &window;
    Open(window);
    Child<QLineEdit>(window, "ePassword")->setText(QStringLiteral("   "));
    TWindowState atBox;
    const QString shown =
        FailureBoxText([&] { Child<QPushButton>(window, "bOnline")->click(); }, &atBox, &window);
    QCOMPARE(shown, QStringLiteral("tst_TfrmMain|Не задан пароль!"));
    QCOMPARE(password, std::string("   "));
    QVERIFY(!during.ButtonsEnabled && !during.ConnectionEnabled && during.LogEnabled);
    QVERIFY(!during.ProgressShown && !during.Animating);
    QVERIFY(atBox.ButtonsEnabled && atBox.ConnectionEnabled);

    // Without its command the button only disables and restores the window.
    TfrmMain bare(TMainCommands{});
    Open(bare);
    Child<QPushButton>(bare, "bOnline")->click();
    QVERIFY(StateOf(bare).ButtonsEnabled && StateOf(bare).ConnectionEnabled);
}

void tst_TfrmMain::folderChooserReplacesOnlyTheRoot() {
    std::optional<std::string> answer = "/srv/Kormant";
    std::string offered;
    TMainCommands commands;
    commands.ChooseFolder = [&](const std::string& root, TOperator&) {
        offered = root;
        return answer;
    };
    TfrmMain window(commands);
    Open(window);
    Child<QLineEdit>(window, "ePassword")->setText(QStringLiteral("secret"));
    Child<QPushButton>(window, "bbProgramLocation")->click();
    QCOMPARE(offered, std::string(platform::DefaultInstallationRoot));
    QCOMPARE(Child<QLineEdit>(window, "eProgramLocation")->text(), QStringLiteral("/srv/Kormant"));
    QCOMPARE(Child<QLineEdit>(window, "ePassword")->text(), QStringLiteral("secret"));

    answer.reset();
    Child<QPushButton>(window, "bbProgramLocation")->click();
    QCOMPARE(Child<QLineEdit>(window, "eProgramLocation")->text(), QStringLiteral("/srv/Kormant"));
}

void tst_TfrmMain::folderChooserFailureReachesTheFailureBox() {
    TMainCommands commands;
    commands.ChooseFolder = [](const std::string&, TOperator&) -> std::optional<std::string> {
        throw EFailure("Папка недоступна");
    };
    TfrmMain window(commands);
    Open(window);
    TWindowState atBox;
    const QString shown = FailureBoxText(
        [&] { Child<QPushButton>(window, "bbProgramLocation")->click(); }, &atBox, &window);
    QCOMPARE(shown, QStringLiteral("tst_TfrmMain|Папка недоступна."));
    QCOMPARE(Child<QLineEdit>(window, "eProgramLocation")->text(),
             QString::fromUtf8(platform::DefaultInstallationRoot));
    QVERIFY(atBox.ButtonsEnabled && atBox.ConnectionEnabled);
    QVERIFY(!window.CommandRunning());
}

void tst_TfrmMain::onlineShowsItsOwnBoxThroughTheWindow() {
    TMainCommands commands;
    commands.Online = [](const std::string&, const std::string&, TOperator& op) {
        op.ShowInformation("База данных переведена в многопользовательский режим.");
    };
    TfrmMain window(commands);
    Open(window);
    QString caption;
    QString message;
    auto watch = OnNextModal([&](QWidget* box) {
        caption = box->windowTitle();
        message = box->findChild<QLabel*>(QStringLiteral("Message"))->text();
        QTest::keyClick(box->focusWidget(), Qt::Key_Return);
    });
    Child<QPushButton>(window, "bOnline")->click();
    QCOMPARE(caption, QStringLiteral("Information"));
    QCOMPARE(message, QStringLiteral("База данных переведена в многопользовательский режим."));
    QVERIFY(StateOf(window).ButtonsEnabled);
}

void tst_TfrmMain::closingWhileRunningEndsAfterTheCommand() {
    bool answer = true;
    bool stillVisibleAfterClose = false;
    int boxesOpened = 0;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++boxesOpened;
            modal->close();
        }
    });
    watcher.start(5);

    TMainCommands commands;
    QWidget* self = nullptr;
    commands.Update = [&](const std::string&, const std::string&, TOperator& op) {
        // The operator closes the window from its title bar while the command runs.
        self->close();
        stillVisibleAfterClose = self->isVisible();
        answer = op.AskYesNo("Продолжить обновление?");
        op.ShowInformation("Обновление программы прошло успешно.");
    };
    TfrmMain window(commands);
    self = &window;
    Open(window);
    Child<QPushButton>(window, "OKBtn")->click();
    SetProgramEnding(false);

    QVERIFY(stillVisibleAfterClose);
    QVERIFY(!answer);
    QCOMPARE(boxesOpened, 0);
    QVERIFY(!window.isVisible());
}

void tst_TfrmMain::enterInTheWindowPressesNothing() {
    int runs = 0;
    TMainCommands commands;
    commands.Update = [&](const std::string&, const std::string&, TOperator&) { ++runs; };
    commands.Online = [&](const std::string&, const std::string&, TOperator&) { ++runs; };
    TfrmMain window(commands);
    Open(window);
    QTest::keyClick(Child(window, "eProgramLocation"), Qt::Key_Return);
    QTest::keyClick(Child(window, "ePassword"), Qt::Key_Return);
    QCOMPARE(runs, 0);
    for (const char* name : {"OKBtn", "bOnline", "CancelBtn", "bbProgramLocation"}) {
        QVERIFY(!Child<QPushButton>(window, name)->isDefault());
    }
}

QTEST_MAIN(tst_TfrmMain)
#include "tst_TfrmMain.moc"
