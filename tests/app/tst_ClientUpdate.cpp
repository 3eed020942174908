// A whole successful update of a client-only installation through the real window: Start, the
// question answered Yes, the real package program of the build, the success box, the new files;
// once with the root typed and once picked in the folder chooser.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "app/qt/TfrmMain.h"
#include "tests/app/FolderTreeHelper.h"
#include "tests/app/ModalHelper.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"

namespace fs = std::filesystem;

class tst_ClientUpdate : public QObject {
    Q_OBJECT
private slots:
    void startUpdatesTheClientPart();
    void theRootPickedInTheFolderChooserIsUpdated();
};

void tst_ClientUpdate::startUpdatesTheClientPart() {
    TTempFolder temp;
    temp.MakeFile("Kormant/Program/Kormant.exe", "client release 3");
    temp.MakeFile("Kormant/Program/Kormant.chm", "help release 3");
    temp.MakeFile("Kormant/Program/Kormant.ini", "[SERVER]\n");
    const fs::path root = temp.Path() / "Kormant";
    const TTreeSnapshot before = SnapshotOf(root / "Program");

    TfrmMain window; // the program's own commands: Start runs the real RunUpdate
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QLineEdit*>(QStringLiteral("eProgramLocation"))
        ->setText(QString::fromStdString(root.string()));
    // The client part needs no password.
    window.findChild<QLineEdit*>(QStringLiteral("ePassword"))->clear();

    const QStringList boxes = StartAnsweringYes(window);

    QCOMPARE(boxes.size(), 2);
    QVERIFY(boxes[0].contains(QStringLiteral("КЛИЕНТСКАЯ часть")));
    QCOMPARE(boxes[1], QStringLiteral("Обновление программы прошло успешно."));
    QVERIFY(!window.CommandRunning());

    // The build's sample package delivered the release-4 stand-ins.
    TTreeSnapshot expected = before;
    expected["Kormant.exe"] = ReadBytes(fs::path(UPDATER_SAMPLE_CLIENT) / "Kormant.exe");
    expected["Kormant.chm"] = ReadBytes(fs::path(UPDATER_SAMPLE_CLIENT) / "Kormant.chm");
    QCOMPARE(SnapshotOf(root / "Program"), expected);
    int staging = 0;
    for (const auto& entry : fs::directory_iterator(root)) {
        if (entry.path().filename().string().rfind("Tmp$", 0) == 0) {
            ++staging;
            QCOMPARE(SnapshotOf(entry.path() / "Old/Program"), before);
            QVERIFY(fs::exists(entry.path() / "New/QUV_UDF.dll"));
        }
    }
    QCOMPARE(staging, 1);
}

// The operator picks the root in the folder chooser instead of typing it (the field names a
// folder inside the installation, so the tree opens with the root's entry expanded above it),
// then updates.
void tst_ClientUpdate::theRootPickedInTheFolderChooserIsUpdated() {
    TTempFolder temp;
    temp.MakeFile("Kormant/Program/Kormant.exe", "client release 3");
    temp.MakeFile("Kormant/Program/Kormant.chm", "help release 3");
    const fs::path root = temp.Path() / "Kormant";

    TfrmMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QLineEdit*>(QStringLiteral("eProgramLocation"))->setText(Q(root / "Program"));
    window.findChild<QLineEdit*>(QStringLiteral("ePassword"))->clear();

    auto pick = OnNextModal([&](QWidget* dialog) {
        const QPersistentModelIndex parent = ModelOf(*dialog)->index(Q(temp.Path()));
        const QPersistentModelIndex entry =
            WaitForEntry(*dialog, parent, QStringLiteral("Kormant"));
        // The listings of the folders above still arrive and move the rows: the operator looks
        // again and clicks until the entry is the selected one.
        (void)QTest::qWaitFor(
            [&] {
                ClickEntry(*dialog, entry, Qt::LeftButton);
                return TreeOf(*dialog)->currentIndex() == QModelIndex(entry);
            },
            5000);
        QTest::mouseClick(Child(*dialog, "OKBtn"), Qt::LeftButton);
    });
    QTest::mouseClick(Child(window, "bbProgramLocation"), Qt::LeftButton);
    QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("eProgramLocation"))->text(), Q(root));

    const QStringList boxes = StartAnsweringYes(window);
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[1], QStringLiteral("Обновление программы прошло успешно."));
    QCOMPARE(ReadBytes(root / "Program/Kormant.exe"),
             ReadBytes(fs::path(UPDATER_SAMPLE_CLIENT) / "Kormant.exe"));
}

QTEST_MAIN(tst_ClientUpdate)
#include "tst_ClientUpdate.moc"
