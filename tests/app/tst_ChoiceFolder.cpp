// The folder chooser: its controls, the preset folder, its results, the tree's behaviour, and the
// main window's "..." button that opens it; on real folders, offscreen.
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "app/qt/MessageBoxes.h"
#include "app/qt/TfrmChoiceFolder.h"
#include "app/qt/TfrmMain.h"
#include "tests/app/FolderTreeHelper.h"
#include "tests/app/ModalHelper.h"
#include "tests/support/TempFolder.h"

namespace {

// Folders of the scratch tree used by several tests.
struct TFolders {
    TTempFolder Temp;
    std::filesystem::path Deep = Temp.MakeFolder("Кормант/Программа 4.1/Данные");
    std::filesystem::path Other = Temp.MakeFolder("Другая");
    std::filesystem::path Hidden = Temp.MakeFolder(".скрытая/Kormant");
    // Names far wider than the tree, nested: the column outgrows the view.
    std::filesystem::path Wide = Temp.MakeDeepFolder(Temp.Str().size() + 400, "Данные");
};

// How long the listings on the way to a folder may take on a busy machine.
constexpr int ListingTimeout = 20000;

} // namespace

class tst_ChoiceFolder : public QObject {
    Q_OBJECT
private slots:
    void controlsMatchTheLayout();
    void tabOrderStartsAtTheTree();
    void presetFolderIsSelectedWithItsWay();
    void presetFolderStaysInViewUntilTheOperatorActs();
    void resultsFollowTheButtonsAndKeys();
    void treeListsFoldersOnlyAndFollowsTheDisk();
    void rightClickSelectsWithoutMenu();
    void dotsButtonPutsTheChosenFolderIntoTheRoot();
};

void tst_ChoiceFolder::controlsMatchTheLayout() {
    QWidget owner;
    TfrmChoiceFolder dialog(&owner);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Выбор папки"));
    QCOMPARE(dialog.size(), QSize(306, 303));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.parentWidget(), &owner);
    QVERIFY(dialog.isWindow());
    QCOMPARE(dialog.font().families().value(0), QStringLiteral("MS Sans Serif"));
    QCOMPARE(dialog.font().pixelSize(), 11);

    struct TControl {
        const char* Name;
        const char* Class;
        const char* Text;
        QRect Geometry;
    };
    const TControl controls[] = {
        {"lChoiceFolder", "QLabel", "Выбор папки:", {8, 16, 69, 13}},
        {"stvChoiceFolder", "QTreeView", "", {8, 38, 289, 217}},
        {"OKBtn", "QPushButton", "OK", {142, 268, 75, 25}},
        {"CancelBtn", "QPushButton", "Отмена", {222, 268, 75, 25}},
    };
    for (const TControl& control : controls) {
        QWidget* widget = Child(dialog, control.Name);
        QCOMPARE(widget->metaObject()->className(), control.Class);
        QCOMPARE(widget->parentWidget(), &dialog);
        QCOMPARE(widget->geometry(), control.Geometry);
        QCOMPARE(widget->property("text").toString(), QString::fromUtf8(control.Text));
    }
    QCOMPARE(Child(dialog, "lChoiceFolder")->focusPolicy(), Qt::NoFocus);
    QVERIFY(Child<QPushButton>(dialog, "OKBtn")->isDefault());
    QVERIFY(!Child<QPushButton>(dialog, "CancelBtn")->isDefault());

    QTreeView* tree = TreeOf(dialog);
    QVERIFY(tree->isHeaderHidden());
    QVERIFY(!tree->rootIsDecorated());
    QCOMPARE(tree->indentation(), 19);
    QCOMPARE(tree->selectionMode(), QAbstractItemView::SingleSelection);
    for (int column = 1; column < tree->model()->columnCount(); ++column) {
        QVERIFY(tree->isColumnHidden(column));
    }
    // One top entry, the computer, standing for "/", shown expanded and selected.
    QCOMPARE(tree->model()->rowCount(), 1);
    const QModelIndex computer = tree->model()->index(0, 0);
    QCOMPARE(computer.data().toString(), QStringLiteral("Компьютер"));
    QVERIFY(!computer.data(Qt::DecorationRole).value<QIcon>().isNull());
    QCOMPARE(ModelOf(dialog)->filePath(computer), QStringLiteral("/"));
    QVERIFY(tree->isExpanded(computer));
    QCOMPARE(dialog.Path(), std::optional<std::string>("/"));
}

void tst_ChoiceFolder::tabOrderStartsAtTheTree() {
    TfrmChoiceFolder dialog(nullptr);
    QStringList order;
    auto watch = OnNextModal([&](QWidget* modal) {
        for (int i = 0; i < 4; ++i) {
            QWidget* focus = modal->focusWidget();
            order << (focus != nullptr ? focus->objectName() : QStringLiteral("<none>"));
            QTest::keyClick(focus != nullptr ? focus : modal, Qt::Key_Tab);
        }
        modal->close();
    });
    dialog.exec();
    QCOMPARE(order, (QStringList{"stvChoiceFolder", "OKBtn", "CancelBtn", "stvChoiceFolder"}));
}

void tst_ChoiceFolder::presetFolderIsSelectedWithItsWay() {
    TFolders folders;
    std::ofstream(folders.Temp.Path() / "файл.txt") << "x";
    const QString temp = Q(folders.Temp.Path());
    struct TCase {
        QString Text;
        QString Selected;
    };
    const TCase cases[] = {
        {Q(folders.Deep), Q(folders.Deep)},
        {temp + "/Кормант/нет/../Программа 4.1//", temp + "/Кормант/Программа 4.1"},
        {Q(folders.Hidden), Q(folders.Hidden)},
        {Q(folders.Wide), Q(folders.Wide)},
        {temp + "/нет такой папки", "/"},
        {temp + "/файл.txt", "/"},
        {"", "/"},
    };
    for (const TCase& c : cases) {
        TfrmChoiceFolder dialog(nullptr);
        dialog.SetPath(c.Text.toStdString());
        std::optional<std::string> atShow;
        bool wayExpanded = true;
        bool selectionExpanded = true;
        bool inView = false;
        auto watch = OnNextModal([&](QWidget*) {
            atShow = dialog.Path();
            QTreeView* tree = TreeOf(dialog);
            const QPersistentModelIndex selected = tree->selectionModel()->selectedRows().value(0);
            for (QModelIndex way = selected.parent(); way.isValid(); way = way.parent()) {
                wayExpanded = wayExpanded && tree->isExpanded(way);
            }
            selectionExpanded =
                selected != tree->model()->index(0, 0) && tree->isExpanded(selected);
            // The selection comes into view however long the listings on its way take.
            inView = QTest::qWaitFor([&] { return NameInView(dialog, selected); }, ListingTimeout);
            // OK without any click.
            QTest::keyClick(tree, Qt::Key_Return);
        });
        const int result = dialog.exec();
        QCOMPARE(result, mrOk);
        QCOMPARE(atShow, std::optional<std::string>(c.Selected.toStdString()));
        QCOMPARE(dialog.Path(), std::optional<std::string>(c.Selected.toStdString()));
        QVERIFY(wayExpanded);
        QVERIFY(!selectionExpanded);
        QVERIFY(inView);
    }
}

void tst_ChoiceFolder::presetFolderStaysInViewUntilTheOperatorActs() {
    TFolders folders;
    TfrmChoiceFolder dialog(nullptr);
    dialog.SetPath(folders.Deep.string());
    QSignalSpy shown(&dialog, &TfrmChoiceFolder::presetFolderShown);
    // Folders that sort above the preset one's way, made while the dialog is open: as many rows
    // as a listing that arrives late pushes in above it.
    const auto addFolders = [&](const QString& prefix) {
        for (int i = 0; i < 40; ++i) {
            folders.Temp.MakeFolder((prefix + QString::number(i + 10)).toStdString());
        }
    };
    bool atFirst = false;
    bool afterRows = false;
    bool followedBeforeActing = false;
    bool followedAfterActing = true;
    int topAfterActing = -1;
    auto watch = OnNextModal([&](QWidget* modal) {
        QTreeView* tree = TreeOf(dialog);
        const QPersistentModelIndex selected = tree->selectionModel()->selectedRows().value(0);
        const QPersistentModelIndex temp = ModelOf(dialog)->index(Q(folders.Temp.Path()));
        atFirst = QTest::qWaitFor([&] { return NameInView(dialog, selected); }, ListingTimeout);

        addFolders(QStringLiteral("А"));
        (void)WaitForEntry(dialog, temp, QStringLiteral("А49"));
        afterRows = QTest::qWaitFor(
            [&] { return !shown.isEmpty() && NameInView(dialog, selected); }, ListingTimeout);
        followedBeforeActing = dialog.FollowsPresetFolder();

        // The operator drags the scroll bar to the top: from then on the view is his.
        tree->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
        followedAfterActing = dialog.FollowsPresetFolder();
        shown.clear();
        addFolders(QStringLiteral("Б"));
        (void)WaitForEntry(dialog, temp, QStringLiteral("Б49"));
        topAfterActing = tree->verticalScrollBar()->value();
        modal->close();
    });
    dialog.exec();
    QVERIFY(atFirst);
    QVERIFY(afterRows);
    QVERIFY(followedBeforeActing);
    QVERIFY(!followedAfterActing);
    QCOMPARE(topAfterActing, 0);
    QVERIFY(shown.isEmpty());
}

void tst_ChoiceFolder::resultsFollowTheButtonsAndKeys() {
    struct TCase {
        const char* Name;
        std::function<void(QWidget*)> Action;
        int Result;
    };
    const TCase cases[] = {
        {"OK", [](QWidget* d) { Child<QPushButton>(*d, "OKBtn")->click(); }, 1},
        {"Отмена", [](QWidget* d) { Child<QPushButton>(*d, "CancelBtn")->click(); }, 2},
        {"Enter", [](QWidget* d) { QTest::keyClick(d->focusWidget(), Qt::Key_Return); }, 1},
        {"Esc", [](QWidget* d) { QTest::keyClick(d->focusWidget(), Qt::Key_Escape); }, 2},
        {"title bar", [](QWidget* d) { d->close(); }, 2},
    };
    for (const TCase& c : cases) {
        TfrmChoiceFolder dialog(nullptr);
        auto watch = OnNextModal(c.Action);
        QVERIFY2(dialog.exec() == c.Result, c.Name);
    }
}

void tst_ChoiceFolder::treeListsFoldersOnlyAndFollowsTheDisk() {
    TFolders folders;
    const auto kormant = folders.Temp.Path() / "Кормант";
    std::ofstream(kormant / "readme.txt") << "x";
    folders.Temp.MakeFolder("Кормант/.hidden");
    TfrmChoiceFolder dialog(nullptr);
    dialog.SetPath((kormant / "Программа 4.1").string());

    QStringList listed;
    QStringList afterChange;
    bool folderIcon = false;
    auto watch = OnNextModal([&](QWidget* modal) {
        const QPersistentModelIndex parent = ModelOf(dialog)->index(Q(kormant));
        (void)QTest::qWaitFor([&] { return ModelOf(dialog)->rowCount(parent) > 0; }, 5000);
        QTest::qWait(200);
        listed = EntriesUnder(dialog, parent);
        folderIcon = !parent.data(Qt::DecorationRole).value<QIcon>().isNull();
        std::filesystem::create_directory(kormant / "Новая");
        std::ofstream(kormant / "новый.txt") << "x";
        WaitForEntry(dialog, parent, QStringLiteral("Новая"));
        afterChange = EntriesUnder(dialog, parent);
        modal->close();
    });
    dialog.exec();
    QCOMPARE(listed, QStringList{QStringLiteral("Программа 4.1")});
    QCOMPARE(afterChange, (QStringList{QStringLiteral("Новая"), QStringLiteral("Программа 4.1")}));
    QVERIFY(folderIcon);
}

void tst_ChoiceFolder::rightClickSelectsWithoutMenu() {
    TFolders folders;
    TfrmChoiceFolder dialog(nullptr);
    dialog.SetPath(folders.Deep.string());

    // A menu would run its own loop: note it and close it, so that the test goes on.
    QString menu;
    QTimer popups;
    connect(&popups, &QTimer::timeout, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            menu = popup->metaObject()->className();
            popup->close();
        }
    });
    popups.start(5);

    std::optional<std::string> selected;
    auto watch = OnNextModal([&](QWidget* modal) {
        const QPersistentModelIndex temp = ModelOf(dialog)->index(Q(folders.Temp.Path()));
        ClickEntry(dialog, WaitForEntry(dialog, temp, QStringLiteral("Другая")), Qt::RightButton);
        QTest::qWait(100);
        selected = dialog.Path();
        modal->close();
    });
    dialog.exec();
    QCOMPARE(selected, std::optional<std::string>(folders.Other.string()));
    QCOMPARE(menu, QString());
}

void tst_ChoiceFolder::dotsButtonPutsTheChosenFolderIntoTheRoot() {
    TFolders folders;
    const QString start = Q(folders.Temp.Path() / "Кормант");
    // Each case clicks an entry under the scratch folder, then closes the chooser.
    struct TCase {
        const char* Name;
        const char* Entry;
        Qt::KeyboardModifiers Modifiers;
        int Clicks;
        const char* Close;
        QString Root;
    };
    const TCase cases[] = {
        {"OK", "Другая", {}, 1, "OKBtn", Q(folders.Other)},
        {"Отмена", "Другая", {}, 1, "CancelBtn", start},
        {"Esc", "Другая", {}, 1, nullptr, start},
        // A second Ctrl+click takes the selection away: OK with no entry selected leaves the root
        // alone.
        {"OK, nothing selected", "Другая", Qt::ControlModifier, 2, "OKBtn", start},
    };
    for (const TCase& c : cases) {
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Child<QLineEdit>(window, "eProgramLocation")->setText(start);
        Child<QLineEdit>(window, "ePassword")->setText(QStringLiteral("секрет"));

        QWidget* owner = nullptr;
        QPoint offCentre;
        std::optional<std::string> preset;
        auto watch = OnNextModal([&](QWidget* modal) {
            owner = modal->parentWidget();
            offCentre = modal->geometry().center() - window.geometry().center();
            auto& dialog = *qobject_cast<TfrmChoiceFolder*>(modal);
            preset = dialog.Path();
            const QPersistentModelIndex temp = ModelOf(dialog)->index(Q(folders.Temp.Path()));
            const QPersistentModelIndex entry =
                WaitForEntry(dialog, temp, QString::fromUtf8(c.Entry));
            for (int click = 0; click < c.Clicks; ++click) {
                // Apart, so that two clicks do not make a double click.
                QTest::qWait(click == 0 ? 0 : QApplication::doubleClickInterval() + 50);
                ClickEntry(dialog, entry, Qt::LeftButton, c.Modifiers);
            }
            if (c.Close != nullptr) {
                QTest::mouseClick(Child(dialog, c.Close), Qt::LeftButton);
            } else {
                QTest::keyClick(dialog.focusWidget(), Qt::Key_Escape);
            }
        });
        QTest::mouseClick(Child(window, "bbProgramLocation"), Qt::LeftButton);

        QCOMPARE(owner, &window);
        QVERIFY2(offCentre.manhattanLength() <= 2, c.Name);
        QCOMPARE(preset, std::optional<std::string>(start.toStdString()));
        QCOMPARE(Child<QLineEdit>(window, "eProgramLocation")->text(), c.Root);
        QCOMPARE(Child<QLineEdit>(window, "ePassword")->text(), QStringLiteral("секрет"));
        // The dialog is gone once the handler returns.
        QVERIFY(window.findChildren<TfrmChoiceFolder*>().isEmpty());
    }
}

QTEST_MAIN(tst_ChoiceFolder)
#include "tst_ChoiceFolder.moc"
