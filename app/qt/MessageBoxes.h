// The four ways the program speaks to the operator: information box, error box, Yes/No
// question and the default failure presentation.
#pragma once

#include <QDialog>
#include <QList>
#include <string>

#include "app/WindowLogic.h"

class QPushButton;

// A framed box as TBoxRequest describes it (app/WindowLogic.h).
class TMessageDialog : public QDialog {
    Q_OBJECT
public:
    TMessageDialog(QWidget* parent, const TBoxRequest& request);

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

// The default presentation of a failure that escaped an operation: the system's message box
// with the application title as caption, the stop icon, OK, and the message after the period
// rule.
void ShowFailure(const std::string& message);
// The system's message box with the stop icon and OK, as the window logic asks for it.
void ShowFailureBox(const std::string& caption, const std::string& text);

// The text as a box shows it: lone carriage returns and CR LF pairs become line breaks.
QString DisplayText(const std::string& text);
