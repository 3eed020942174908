// The folder chooser behind the main window's "..." button: a tree of the computer's folders.
#pragma once

#include <QDialog>
#include <QFileIconProvider>
#include <optional>
#include <string>

#include "update/Operator.h"

class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

// Results: OK gives mrOk (1); Cancel, Esc and the title bar's close give mrClosed (2).
class TfrmChoiceFolder : public QDialog {
    Q_OBJECT
public:
    // Opens over `owner`, which owns it, with the computer's entry expanded and selected.
    explicit TfrmChoiceFolder(QWidget* owner);
    ~TfrmChoiceFolder() override;

    // Selects the folder `path` names (UTF-8), expanding every entry on the way to it. A text that
    // names no existing folder changes nothing.
    void SetPath(const std::string& path);
    // The selected entry's folder (UTF-8); nothing when no entry is selected.
    std::optional<std::string> Path() const;

    void reject() override;

    // True while the preset folder is kept in view: from SetPath until the operator presses a
    // key or a mouse button over the tree, turns the wheel or moves a scroll bar.
    bool FollowsPresetFolder() const { return Following_; }

signals:
    // The preset folder's name has been brought (back) into view, vertically and horizontally.
    void presetFolderShown();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Scrolls the selected entry's name into view while the preset folder is being followed.
    void FollowSelection();

    // The model's gatherer thread asks for icons until the model goes; see the destructor.
    QFileIconProvider Icons_;
    QFileSystemModel* Model_ = nullptr;
    // Set by SetPath: the preset folder is kept in view while the listings around it load.
    bool Following_ = false;

    QLabel* lChoiceFolder = nullptr;
    QTreeView* stvChoiceFolder = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
};

// The "..." command: shows the chooser over `owner` at the folder `root` names; returns the
// chosen folder, or nothing when the operator cancelled or chose no entry.
std::optional<std::string> ChooseFolderWithDialog(QWidget* owner, const std::string& root,
                                                  TOperator& op);
