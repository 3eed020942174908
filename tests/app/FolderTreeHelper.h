// Finding and clicking entries of the folder chooser's tree as the operator does, for the tests
// that pick a folder through it.
#pragma once

#include <QApplication>
#include <QFileSystemModel>
#include <QPersistentModelIndex>
#include <QScrollBar>
#include <QTreeView>
#include <QtTest>
#include <algorithm>
#include <filesystem>

template <typename T = QWidget> T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no control %s", name);
    }
    return child;
}

inline QString Q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

inline QTreeView* TreeOf(QWidget& dialog) {
    return Child<QTreeView>(dialog, "stvChoiceFolder");
}

inline QFileSystemModel* ModelOf(QWidget& dialog) {
    return qobject_cast<QFileSystemModel*>(TreeOf(dialog)->model());
}

// The display names of the entries listed under `parent`.
inline QStringList EntriesUnder(QWidget& dialog, const QModelIndex& parent) {
    QStringList names;
    const QAbstractItemModel* model = TreeOf(dialog)->model();
    for (int row = 0; row < model->rowCount(parent); ++row) {
        names << model->index(row, 0, parent).data().toString();
    }
    names.sort();
    return names;
}

// The entry `name` under `parent`, once the listing has brought it (invalid if it never does).
// Rows move as the listings arrive and are sorted, so indexes kept across calls are persistent.
inline QPersistentModelIndex WaitForEntry(QWidget& dialog, const QPersistentModelIndex& parent,
                                          const QString& name) {
    QPersistentModelIndex found;
    // An entry that never comes leaves `found` invalid, which the caller's comparison shows.
    (void)QTest::qWaitFor(
        [&] {
            const QAbstractItemModel* model = TreeOf(dialog)->model();
            for (int row = 0; row < model->rowCount(parent); ++row) {
                const QModelIndex entry = model->index(row, 0, parent);
                if (entry.data().toString() == name) {
                    found = entry;
                    return true;
                }
            }
            return false;
        },
        5000);
    return found;
}

// The part of `entry`'s cell that its icon and name take, in the view's coordinates.
inline QRect NameRect(QTreeView* tree, const QModelIndex& entry) {
    QRect name = tree->visualRect(entry);
    name.setWidth(std::min(name.width(), tree->sizeHintForIndex(entry).width()));
    return name;
}

// True when the operator sees the name of `entry`: its row within the tree's view, and its name
// from its start on, whole or, when wider than the view, as far as the view reaches.
inline bool NameInView(QWidget& dialog, const QModelIndex& entry) {
    QTreeView* tree = TreeOf(dialog);
    const QRect view = tree->viewport()->rect();
    const QRect name = NameRect(tree, entry);
    return !name.isEmpty() && name.top() >= view.top() && name.bottom() <= view.bottom() &&
           name.left() >= view.left() &&
           name.left() + std::min(name.width(), view.width()) <= view.right() + 1;
}

// Clicks through the window system, as the operator's mouse does: a right button also asks for a
// context menu there.
inline void ClickEntry(QWidget& dialog, const QPersistentModelIndex& entry, Qt::MouseButton button,
                       Qt::KeyboardModifiers modifiers = {}) {
    QTreeView* tree = TreeOf(dialog);
    tree->scrollTo(entry);
    // Deep in the tree the name may stand right of the view: scrolled to, as the operator would.
    const QRect view = tree->viewport()->rect();
    QRect name = NameRect(tree, entry);
    if (name.left() < 0 || name.left() + std::min(name.width(), view.width()) > view.right() + 1) {
        QScrollBar* bar = tree->horizontalScrollBar();
        bar->setValue(bar->value() + name.left());
        name = NameRect(tree, entry);
    }
    const QPoint inName(name.left() + std::min(name.width(), view.width() - name.left()) / 2,
                        name.center().y());
    const QPoint point = tree->viewport()->mapTo(&dialog, inName);
    QTest::mouseClick(dialog.windowHandle(), button, modifiers, point);
}
