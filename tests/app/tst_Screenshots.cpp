// Renders the main window and the update question to PNG files. Under ctest the pictures go to
// a temporary folder and are only checked; the `screenshots` build target writes them into
// docs/screenshots.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

#include "app/qt/MessageBoxes.h"
#include "app/qt/TfrmMain.h"
#include "tests/app/ModalHelper.h"

class tst_Screenshots : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void mainWindow();
    void updateQuestion();

private:
    QString Target(const char* name) const { return QDir(Folder_).filePath(name); }

    QTemporaryDir Scratch_;
    QString Folder_;
};

void tst_Screenshots::initTestCase() {
    Folder_ = qEnvironmentVariable("UPDATER_SCREENSHOT_DIR", Scratch_.path());
    QVERIFY(QDir().mkpath(Folder_));
}

void tst_Screenshots::mainWindow() {
    TfrmMain window(TMainCommands{});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage image = window.grab().toImage();
    QCOMPARE(image.size(), QSize(433, 393));
    QVERIFY(image.save(Target("main-window.png")));
    QVERIFY(QFileInfo(Target("main-window.png")).size() > 1000);
}

void tst_Screenshots::updateQuestion() {
    QImage image;
    auto watch = OnNextModal([&](QWidget* box) {
        QTest::qWait(20);
        image = box->grab().toImage();
        QTest::keyClick(box->focusWidget(), Qt::Key_Escape);
    });
    AskYesNo("Программа обновления, исходя из заданного пути к обновляемой программе, "
             "обнаружила, что на данном компьютере установлены КЛИЕНТСКАЯ и СЕРВЕРНАЯ части "
             "обновляемой программы.\rПродолжить обновление?");
    QVERIFY(!image.isNull());
    QVERIFY(image.save(Target("update-question.png")));
}

QTEST_MAIN(tst_Screenshots)
#include "tst_Screenshots.moc"
