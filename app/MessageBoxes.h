// The four ways the program speaks to the operator: information box, error box, Yes/No
// question and the default failure presentation.
#pragma once

#include <QDialog>
#include <QList>
#include <string>

class QPushButton;

// Results of the framed boxes.
inline constexpr int mrOk = 1;
inline constexpr int mrClosed = 2;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

enum class TBoxKind { Information, Error };
enum class TBoxButtons { Ok, YesNo };

// A framed box: caption and icon from its kind, the message, and the buttons Yes, No, OK in
// that order. The first button in the tab order holds the focus when the box opens. Enter
// presses the focused button, Esc the cancel button (No when present, else OK), a button's
// access key with or without Alt presses it; closing the box gives mrClosed.
class TMessageDialog : public QDialog {
    Q_OBJECT
public:
    TMessageDialog(QWidget* parent, TBoxKind kind, const std::string& text, TBoxButtons buttons);

    // The box's buttons in tab order; each carries its name ("Yes", "No", "OK").
    QList<QPushButton*> TabOrder() const { return TabOrder_; }
    // Makes `button` the first in the tab order, so that it holds the focus when the box opens.
    void MoveToFrontOfTabOrder(QPushButton* button);

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPushButton* AddButton(const char* name, const QString& caption, int result);

    QList<QPushButton*> TabOrder_;
    QPushButton* CancelButton_ = nullptr;
};

// When the program is marked as ending (its window was closed while a command ran), framed
// boxes close at once with mrClosed instead of waiting for the operator.
void SetProgramEnding(bool ending);
bool ProgramEnding();

void ShowInformation(const std::string& text);
void ShowError(const std::string& text);
bool AskYesNo(const std::string& text);

// The period rule: a non-empty message whose last character, as a code-page-1251 byte, is
// greater than the full stop gets a full stop appended.
std::string ApplyPeriodRule(const std::string& message);

// The default presentation of a failure that escaped an operation: the system's message box
// with the application title as caption, the stop icon, OK, and the message after the period
// rule.
void ShowFailure(const std::string& message);

// The text as a box shows it: lone carriage returns and CR LF pairs become line breaks.
QString DisplayText(const std::string& text);
