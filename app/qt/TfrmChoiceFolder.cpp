#include "app/qt/TfrmChoiceFolder.h"

#include <QDir>
#include <QEvent>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>

#include "app/qt/MessageBoxes.h"
#include "app/qt/WindowFont.h"
#include "platform/Path.h"

namespace {

// The file system with its top entry shown as the computer, as a file manager names it.
class TFolderModel : public QFileSystemModel {
public:
    TFolderModel(const QFileIconProvider& icons, QObject* parent)
        : QFileSystemModel(parent), Icons_(icons) {}

    QVariant data(const QModelIndex& index, int role) const override {
        if (index.isValid() && index.column() == 0 && !index.parent().isValid()) {
            if (role == Qt::DisplayRole) {
                return QStringLiteral("Компьютер");
            }
            if (role == Qt::DecorationRole) {
                return Icons_.icon(QAbstractFileIconProvider::Computer);
            }
        }
        return QFileSystemModel::data(index, role);
    }

private:
    const QFileIconProvider& Icons_;
};

} // namespace

TfrmChoiceFolder::TfrmChoiceFolder(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmChoiceFolder"));
    setWindowTitle(QStringLiteral("Выбор папки"));
    setModal(true);
    setFixedSize(306, 303);
    SetWindowFont(*this);

    lChoiceFolder =
        Make<QLabel>(this, "lChoiceFolder", 8, 16, 69, 13, QStringLiteral("Выбор папки:"));

    Model_ = new TFolderModel(Icons_, this);
    Model_->setIconProvider(&Icons_);
    // Hidden folders stay out of the listing, as in a file manager; a typed path through them
    // is still shown on its way (QFileSystemModel::index lets such a chain through the filter).
    Model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    Model_->setRootPath(QDir::rootPath());

    stvChoiceFolder = Make<QTreeView>(this, "stvChoiceFolder", 8, 38, 289, 217);
    stvChoiceFolder->setModel(Model_);
    stvChoiceFolder->setHeaderHidden(true);
    for (int column = 1; column < Model_->columnCount(); ++column) {
        stvChoiceFolder->hideColumn(column);
    }
    // Long names widen the column and bring the horizontal scroll bar, instead of being cut.
    stvChoiceFolder->header()->setStretchLastSection(false);
    stvChoiceFolder->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    stvChoiceFolder->setRootIsDecorated(false);
    stvChoiceFolder->setIndentation(19);
    stvChoiceFolder->setUniformRowHeights(true);
    stvChoiceFolder->setSelectionMode(QAbstractItemView::SingleSelection);
    stvChoiceFolder->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A right click only selects (the view does that on any button); no menu, not even the
    // dialog's own.
    stvChoiceFolder->setContextMenuPolicy(Qt::PreventContextMenu);

    OKBtn = Make<QPushButton>(this, "OKBtn", 142, 268, 75, 25, QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = Make<QPushButton>(this, "CancelBtn", 222, 268, 75, 25, QStringLiteral("Отмена"));
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(mrClosed); });

    QWidget::setTabOrder(stvChoiceFolder, OKBtn);
    QWidget::setTabOrder(OKBtn, CancelBtn);

    // The listings come from another thread, for as long as they take: rows arrive above the
    // preset folder after it has been selected, and longer names widen the column and bring a
    // scroll bar that narrows the view; each would push it out of view. It is kept in view until
    // the operator acts on the tree (a key, a mouse button, the wheel, a scroll bar), moves the
    // selection, or expands or collapses an entry.
    const auto follow = [this] { FollowSelection(); };
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(Model_, signal, this, follow);
    }
    connect(Model_, &QAbstractItemModel::layoutChanged, this, follow);
    connect(stvChoiceFolder->header(), &QHeaderView::sectionResized, this, follow);
    const auto stopFollowing = [this] { Following_ = false; };
    connect(stvChoiceFolder->selectionModel(), &QItemSelectionModel::currentChanged, this,
            stopFollowing);
    connect(stvChoiceFolder, &QTreeView::expanded, this, stopFollowing);
    connect(stvChoiceFolder, &QTreeView::collapsed, this, stopFollowing);
    for (QScrollBar* bar :
         {stvChoiceFolder->verticalScrollBar(), stvChoiceFolder->horizontalScrollBar()}) {
        connect(bar, &QAbstractSlider::actionTriggered, this, stopFollowing);
        connect(bar, &QAbstractSlider::rangeChanged, this, follow);
        bar->installEventFilter(this);
    }
    stvChoiceFolder->installEventFilter(this);
    stvChoiceFolder->viewport()->installEventFilter(this);

    const QModelIndex computer = Model_->index(QDir::rootPath());
    stvChoiceFolder->expand(computer);
    stvChoiceFolder->setCurrentIndex(computer);
    stvChoiceFolder->setFocus(Qt::OtherFocusReason);
}

TfrmChoiceFolder::~TfrmChoiceFolder() {
    // The icon provider is a member and goes before the children: the view and the model (with
    // its gatherer thread, which asks the provider) go first.
    delete stvChoiceFolder;
    delete Model_;
}

void TfrmChoiceFolder::SetPath(const std::string& path) {
    // The text is resolved as the update resolves the root (lexically, relative to the current
    // folder); a text that cannot be resolved selects nothing new.
    std::string full;
    try {
        full = platform::FullPath(path);
        if (!platform::FolderExists(full)) {
            return;
        }
    } catch (...) {
        return;
    }
    const QString folder = QDir::cleanPath(QString::fromStdString(full));
    // index() builds the entries on the way at once, so the selection does not wait for the
    // listings, which load in the background.
    const QModelIndex target = Model_->index(folder);
    if (!target.isValid()) {
        stvChoiceFolder->clearSelection();
        stvChoiceFolder->selectionModel()->setCurrentIndex(QModelIndex(),
                                                           QItemSelectionModel::NoUpdate);
        return;
    }
    for (QModelIndex parent = target.parent(); parent.isValid(); parent = parent.parent()) {
        stvChoiceFolder->expand(parent);
    }
    stvChoiceFolder->setCurrentIndex(target);
    Following_ = true;
    FollowSelection();
}

std::optional<std::string> TfrmChoiceFolder::Path() const {
    const QModelIndexList rows = stvChoiceFolder->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    return Model_->filePath(rows.front()).toStdString();
}

void TfrmChoiceFolder::reject() {
    // Esc and the title bar's close give the cancel result.
    done(mrClosed);
}

void TfrmChoiceFolder::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FollowSelection();
}

bool TfrmChoiceFolder::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        Following_ = false;
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmChoiceFolder::FollowSelection() {
    if (!Following_) {
        return;
    }
    const QModelIndexList rows = stvChoiceFolder->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return;
    }
    stvChoiceFolder->scrollTo(rows.front());
    // scrollTo shows the row, but horizontally only the column's start: with a column wider than
    // the view (a deep folder, long names) the entry's name may stand beyond the right edge. Its
    // name is brought in, its start first when it is wider than the view.
    const QRect cell = stvChoiceFolder->visualRect(rows.front());
    const int nameWidth =
        std::min(cell.width(), stvChoiceFolder->sizeHintForIndex(rows.front()).width());
    QScrollBar* bar = stvChoiceFolder->horizontalScrollBar();
    const int left = bar->value() + cell.left();
    const int right = left + nameWidth;
    int offset = bar->value();
    if (right > offset + stvChoiceFolder->viewport()->width()) {
        offset = right - stvChoiceFolder->viewport()->width();
    }
    offset = std::min(offset, left);
    bar->setValue(offset);
    emit presetFolderShown();
}

std::optional<std::string> ChooseFolderWithDialog(QWidget* owner, const std::string& root,
                                                  TOperator&) {
    TfrmChoiceFolder dialog(owner);
    dialog.SetPath(root);
    if (dialog.exec() != mrOk) {
        return std::nullopt;
    }
    return dialog.Path();
}
