// A whole successful update of an installation with both parts through the real window, against
// the private server: Start, Yes, the script's log in the pane, the success box with the reboot
// line, release 4 with the new function answering. It also renders what the operator sees; the
// pictures go to UPDATER_SCREENSHOT_DIR when set (docs/screenshots), else to a temporary folder.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <filesystem>

#include "app/qt/TfrmMain.h"
#include "dbadmin/ScriptApplication.h"
#include "tests/app/ModalHelper.h"
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"

namespace fs = std::filesystem;

class tst_ServerUpdate : public QObject {
    Q_OBJECT
private slots:
    void startUpdatesBothParts();
};

void tst_ServerUpdate::startUpdatesBothParts() {
    QTemporaryDir scratch;
    const QString pictures = qEnvironmentVariable("UPDATER_SCREENSHOT_DIR", scratch.path());
    QVERIFY(QDir().mkpath(pictures));
    SetScriptEngineLibrary(UPDATER_SCRIPT_ENGINE);
    setenv("FIREBIRD", firebird_test::InstanceFolder, 1);

    TTempFolder temp;
    temp.MakeFile("Kormant/Program/Kormant.exe", "client release 3");
    temp.MakeFile("Kormant/Program/Kormant.chm", "help release 3");
    temp.MakeFolder("Kormant/DB_Data");
    const fs::path root = temp.Path() / "Kormant";
    firebird_test::TOwnDatabase database((root / "DB_Data/Kormant.fdb").string());
    QCOMPARE(
        std::system(("bash '" UPDATER_MAKE_RELEASE3 "' --existing '" + database.DatabaseString() +
                     "' '" + firebird_test::SysdbaPassword + "' >/dev/null")
                        .c_str()),
        0);

    TfrmMain window; // the program's own commands, with the default password
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QLineEdit*>(QStringLiteral("eProgramLocation"))
        ->setText(QString::fromStdString(root.string()));

    QImage question;
    QImage withLog;
    QImage success;
    const QStringList boxes = StartAnsweringYes(
        window,
        [&](QWidget* box) {
            QTest::qWait(20);
            question = box->grab().toImage();
        },
        [&](QWidget* result) {
            QTest::qWait(20);
            success = result->grab().toImage();
            withLog = window.grab().toImage();
        });

    QCOMPARE(boxes.size(), 2);
    QVERIFY(boxes[0].contains(QStringLiteral("КЛИЕНТСКАЯ и СЕРВЕРНАЯ части")));
    QCOMPARE(boxes[1], QStringLiteral("Обновление программы прошло успешно.\n\nТребуется "
                                      "ПЕРЕЗАГРУЗКА компьютера!!!"));
    const QString log = window.findChild<QPlainTextEdit*>(QStringLiteral("mLog"))->toPlainText();
    QVERIFY2(log.contains(QStringLiteral("update Attrs set Versio = 4")), qPrintable(log));
    QCOMPARE(firebird_test::Query(database.DatabaseString(), "select Versio from Attrs;"),
             std::string("4\n"));
    QCOMPARE(firebird_test::Query(database.DatabaseString(),
                                  "select UDF_INTEGER_IN_WORDS(2, 1) from rdb$database;"),
             std::string("две\n"));
    QCOMPARE(ReadBytes(root / "Program/Kormant.exe"),
             ReadBytes(fs::path(UPDATER_SAMPLE_CLIENT) / "Kormant.exe"));

    for (const auto& [image, name] :
         {std::pair{question, "update-question-both-parts.png"},
          std::pair{withLog, "script-log.png"}, std::pair{success, "update-success.png"}}) {
        QVERIFY(!image.isNull());
        QVERIFY(image.save(QDir(pictures).filePath(QString::fromLatin1(name))));
    }
    SetScriptEngineLibrary("IBEScript.dll");
}

QTEST_MAIN(tst_ServerUpdate)
#include "tst_ServerUpdate.moc"
