// The framed boxes, the question's keys and the failure presentation, on real dialogs.
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "app/ApplicationTitle.h"
#include "app/qt/MessageBoxes.h"
#include "tests/app/ModalHelper.h"

namespace {

QList<QString> ButtonNames(QWidget* box) {
    QList<QString> names;
    for (QPushButton* button : static_cast<TMessageDialog*>(box)->TabOrder()) {
        names.push_back(button->objectName());
    }
    return names;
}

QPushButton* Button(QWidget* box, const char* name) {
    return box->findChild<QPushButton*>(QString::fromLatin1(name));
}

// Sends a key as the keyboard would: to the widget that holds the focus in the box.
void Press(QWidget* box, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = box->focusWidget() ? box->focusWidget() : box;
    QTest::keyClick(target, key, modifiers);
}

} // namespace

class tst_MessageBoxes : public QObject {
    Q_OBJECT
private slots:
    void questionHasYesThenNoWithNoFocused();
    void questionKeys_data();
    void questionKeys();
    void questionClickedButtons();
    void okBoxesCloseOnEnterAndEsc_data();
    void okBoxesCloseOnEnterAndEsc();
    void okBoxClosedByTitleBarGivesTwo();
    void loneCarriageReturnBreaksTheLine();
    void periodRule_data();
    void periodRule();
    void failureBoxUsesTitleAndPeriodRule();
    void endingProgramClosesBoxesAtOnce();
};

void tst_MessageBoxes::questionHasYesThenNoWithNoFocused() {
    // What the box showed is recorded, the box answered, and only then compared: a failed
    // comparison inside the box's own event loop would leave it open.
    struct {
        bool Seen = false;
        QString Caption, Yes, No, Message;
        bool HasOk = true, YesLeftOfNo = false, NoFocused = false, NoDefault = false;
        QList<QString> TabOrder;
    } shown;
    auto watch = OnNextModal([&](QWidget* box) {
        shown.Seen = true;
        shown.Caption = box->windowTitle();
        shown.Yes = Button(box, "Yes")->text();
        shown.No = Button(box, "No")->text();
        shown.HasOk = Button(box, "OK") != nullptr;
        shown.YesLeftOfNo = Button(box, "Yes")->x() < Button(box, "No")->x();
        shown.TabOrder = ButtonNames(box);
        shown.NoFocused = box->focusWidget() == Button(box, "No");
        shown.NoDefault = Button(box, "No")->isDefault();
        shown.Message = box->findChild<QLabel*>("Message")->text();
        Button(box, "No")->click();
    });
    QVERIFY(!AskYesNo("Продолжить?"));
    QVERIFY(shown.Seen);
    QCOMPARE(shown.Caption, QStringLiteral("Information"));
    QCOMPARE(shown.Yes, QStringLiteral("&Yes"));
    QCOMPARE(shown.No, QStringLiteral("&No"));
    QVERIFY(!shown.HasOk);
    // Yes stands left of No, but No comes first in the tab order and holds the focus.
    QVERIFY(shown.YesLeftOfNo);
    QCOMPARE(shown.TabOrder, (QList<QString>{"No", "Yes"}));
    QVERIFY(shown.NoFocused);
    QVERIFY(shown.NoDefault);
    QCOMPARE(shown.Message, QStringLiteral("Продолжить?"));
}

void tst_MessageBoxes::questionKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("answer");
    QTest::newRow("Enter right after opening") << int(Qt::Key_Return) << 0 << false;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << false;
    QTest::newRow("Esc") << int(Qt::Key_Escape) << 0 << false;
    QTest::newRow("N") << int(Qt::Key_N) << 0 << false;
    QTest::newRow("Alt+N") << int(Qt::Key_N) << int(Qt::AltModifier) << false;
    QTest::newRow("Y") << int(Qt::Key_Y) << 0 << true;
    QTest::newRow("Alt+Y") << int(Qt::Key_Y) << int(Qt::AltModifier) << true;
}

void tst_MessageBoxes::questionKeys() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, answer);
    auto watch = OnNextModal(
        [&](QWidget* box) { Press(box, Qt::Key(key), Qt::KeyboardModifiers(modifiers)); });
    QCOMPARE(AskYesNo("Вопрос"), answer);
}

void tst_MessageBoxes::questionClickedButtons() {
    auto clickYes =
        OnNextModal([](QWidget* box) { QTest::mouseClick(Button(box, "Yes"), Qt::LeftButton); });
    QVERIFY(AskYesNo("Вопрос"));
    auto clickNo =
        OnNextModal([](QWidget* box) { QTest::mouseClick(Button(box, "No"), Qt::LeftButton); });
    QVERIFY(!AskYesNo("Вопрос"));
    auto closeBox = OnNextModal([](QWidget* box) { box->close(); });
    QVERIFY(!AskYesNo("Вопрос"));
    // Tab moves the focus to Yes; Enter then presses it.
    bool yesFocused = false;
    auto tabThenEnter = OnNextModal([&](QWidget* box) {
        QTest::keyClick(box->focusWidget(), Qt::Key_Tab);
        yesFocused = box->focusWidget() == Button(box, "Yes");
        Press(box, Qt::Key_Return);
    });
    QVERIFY(AskYesNo("Вопрос"));
    QVERIFY(yesFocused);
}

void tst_MessageBoxes::okBoxesCloseOnEnterAndEsc_data() {
    QTest::addColumn<bool>("error");
    QTest::addColumn<int>("key");
    QTest::newRow("information, Enter") << false << int(Qt::Key_Return);
    QTest::newRow("information, Esc") << false << int(Qt::Key_Escape);
    QTest::newRow("error, Enter") << true << int(Qt::Key_Return);
    QTest::newRow("error, Esc") << true << int(Qt::Key_Escape);
}

void tst_MessageBoxes::okBoxesCloseOnEnterAndEsc() {
    QFETCH(bool, error);
    QFETCH(int, key);
    QString caption;
    QString okText;
    bool okFocused = false;
    QList<QString> names;
    auto watch = OnNextModal([&](QWidget* box) {
        caption = box->windowTitle();
        names = ButtonNames(box);
        okText = Button(box, "OK")->text();
        okFocused = box->focusWidget() == Button(box, "OK");
        Press(box, Qt::Key(key));
    });
    if (error) {
        ShowError("Ошибка");
    } else {
        ShowInformation("Сведения");
    }
    QCOMPARE(caption, error ? QStringLiteral("Error") : QStringLiteral("Information"));
    QCOMPARE(names, QList<QString>{"OK"});
    QCOMPARE(okText, QStringLiteral("OK"));
    QVERIFY(okFocused);
}

void tst_MessageBoxes::okBoxClosedByTitleBarGivesTwo() {
    TMessageDialog box(nullptr, ErrorBox("Ошибка"));
    auto closeBox = OnNextModal([](QWidget* modal) { modal->close(); });
    QCOMPARE(box.exec(), mrClosed);
    TMessageDialog ok(nullptr, InformationBox("Сведения"));
    auto escape = OnNextModal([](QWidget* modal) { Press(modal, Qt::Key_Escape); });
    QCOMPARE(ok.exec(), mrOk);
    TMessageDialog question(nullptr, QuestionBox("?"));
    auto keyY = OnNextModal([](QWidget* modal) { Press(modal, Qt::Key_Y); });
    QCOMPARE(question.exec(), mrYes);
}

void tst_MessageBoxes::loneCarriageReturnBreaksTheLine() {
    QCOMPARE(DisplayText("первая\rвторая\r\rчетвёртая"),
             QStringLiteral("первая\nвторая\n\nчетвёртая"));
    QCOMPARE(DisplayText("a\r\nb"), QStringLiteral("a\nb"));
    QString shown;
    auto watch = OnNextModal([&](QWidget* box) {
        shown = box->findChild<QLabel*>("Message")->text();
        Press(box, Qt::Key_Return);
    });
    ShowError("Сообщение об ошибке:\r\rтекст");
    QCOMPARE(shown, QStringLiteral("Сообщение об ошибке:\n\nтекст"));
}

void tst_MessageBoxes::periodRule_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("exclamation") << "Не найден!"
                                 << "Не найден!";
    QTest::newRow("full stop") << "Готово."
                               << "Готово.";
    QTest::newRow("closing parenthesis") << "ошибка (код 5)"
                                         << "ошибка (код 5)";
    QTest::newRow("double quote") << "файл \"a\""
                                  << "файл \"a\"";
    QTest::newRow("Latin letter") << "Stream write error"
                                  << "Stream write error.";
    QTest::newRow("Cyrillic letter") << "Ошибка сервера"
                                     << "Ошибка сервера.";
    QTest::newRow("Cyrillic yo") << "всё"
                                 << "всё.";
    QTest::newRow("digit") << "код 335544344"
                           << "код 335544344.";
    QTest::newRow("comma") << "a,"
                           << "a,";
    QTest::newRow("slash") << "/opt/QUV/"
                           << "/opt/QUV/.";
    QTest::newRow("space") << "a "
                           << "a ";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_MessageBoxes::periodRule() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(QString::fromStdString(ApplyPeriodRule(message.toStdString())), shown);
}

void tst_MessageBoxes::failureBoxUsesTitleAndPeriodRule() {
    ApplicationTitle() = "Kormant Updater";
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
    bool messageBox = false;
    auto clickOk = OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        messageBox = box != nullptr;
        if (box == nullptr) {
            modal->close();
            return;
        }
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttonCount = int(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    ShowFailure("Ошибка сервера 335544344");
    QVERIFY(messageBox);
    QCOMPARE(caption, QStringLiteral("Kormant Updater"));
    QCOMPARE(text, QStringLiteral("Ошибка сервера 335544344."));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttonCount, 1);

    auto closeBox = OnNextModal([&](QWidget* modal) {
        text = qobject_cast<QMessageBox*>(modal)->text();
        modal->close();
    });
    ShowFailure("");
    QCOMPARE(text, QString());
}

void tst_MessageBoxes::endingProgramClosesBoxesAtOnce() {
    SetProgramEnding(true);
    // No box may open: a modal window now would be a hang, so the watcher fails the test.
    bool opened = false;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            opened = true;
            modal->close();
        }
    });
    watcher.start(5);
    const bool answer = AskYesNo("Вопрос");
    ShowInformation("Сведения");
    ShowError("Ошибка");
    SetProgramEnding(false);
    QVERIFY(!answer);
    QVERIFY(!opened);
}

QTEST_MAIN(tst_MessageBoxes)
#include "tst_MessageBoxes.moc"
