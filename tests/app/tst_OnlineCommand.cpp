// The OnLine button of the real window against the private server: a shut-down database of a
// real installation comes back online and the window says so; on an online database the
// server's refusal reaches the failure box.
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "app/qt/TfrmMain.h"
#include "tests/app/ModalHelper.h"
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/TempFolder.h"

class tst_OnlineCommand : public QObject {
    Q_OBJECT
private slots:
    void onlineBringsTheDatabaseBackThenReportsTheRefusal();
};

void tst_OnlineCommand::onlineBringsTheDatabaseBackThenReportsTheRefusal() {
    TTempFolder root;
    root.MakeFile("Program/Kormant.exe");
    root.MakeFolder("DB_Data");
    firebird_test::TOwnDatabase database((root.Path() / "DB_Data/Kormant.fdb").string());
    database.ShutDown();

    TfrmMain window;
    window.findChild<QLineEdit*>(QStringLiteral("eProgramLocation"))
        ->setText(QString::fromStdString(root.Str()));
    window.findChild<QLineEdit*>(QStringLiteral("ePassword"))
        ->setText(QString::fromLatin1(firebird_test::SysdbaPassword));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* online = window.findChild<QPushButton*>(QStringLiteral("bOnline"));

    QString information;
    auto answerInformation = OnNextModal([&](QWidget* box) {
        information = box->windowTitle() + QLatin1Char('|') +
                      box->findChild<QLabel*>(QStringLiteral("Message"))->text();
        QTest::keyClick(box->focusWidget(), Qt::Key_Return);
    });
    online->click();
    QCOMPARE(information, QStringLiteral("Information|База данных переведена в "
                                         "многопользовательский режим."));
    QVERIFY(database.Attributes().find("maintenance") == std::string::npos);

    QString failure;
    auto answerFailure = OnNextModal([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            failure = box->windowTitle() + QLatin1Char('|') + box->text();
        }
        modal->close();
    });
    online->click();
    QCOMPARE(failure, QStringLiteral("tst_OnlineCommand|Target shutdown mode is invalid for "
                                     "database \"%1\"")
                          .arg(QString::fromStdString(database.Path())));
    QVERIFY(window.findChild<QWidget*>(QStringLiteral("pBtn"))->isEnabled());
}

QTEST_MAIN(tst_OnlineCommand)
#include "tst_OnlineCommand.moc"
