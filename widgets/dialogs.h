// The dialog layer: every message box, the standard error dialog, the program's own modal dialogs and
// the folder choice go through here, so that tests can answer them and read what they said.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QDialog;
class QWidget;

namespace dialogs {

enum class Icon { None, Information, Warning, Critical, Question };

struct Message {
    QString text;
    QString caption;
    Icon icon = Icon::None;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    // The button Enter presses; NoButton lets the box choose (the accepting one).
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// The box the real handler shows for Message.
std::unique_ptr<QMessageBox> CreateMessageBox(QWidget* parent, const Message& message);

// What shows dialogs. The default one shows them for real; tests install one that answers.
class DialogHandler {
public:
    virtual ~DialogHandler() = default;
    // The button that closed the box.
    virtual QMessageBox::StandardButton ShowMessage(QWidget* parent, const Message& message) = 0;
    // The dialog's result code (its modal result).
    virtual int ExecDialog(QDialog& dialog) = 0;
    // The chosen folder, or an empty text when the user cancelled.
    virtual QString ChooseFolder(QWidget* parent, const QString& caption, const QString& title,
                                 const QString& start) = 0;
    // The chosen files, in the dialog's order, or none when the user cancelled.
    virtual QStringList ChooseFiles(QWidget* parent, const QString& caption, const QString& start) = 0;
};

// Installs Handler (nullptr restores the real dialogs); returns the one it replaces.
DialogHandler* SetDialogHandler(DialogHandler* handler);

QMessageBox::StandardButton MessageBox(QWidget* parent, const QString& text, const QString& caption,
                                       Icon icon = Icon::None,
                                       QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                       QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// The standard error dialog: an error icon, the caption "Error" and an OK button.
void ShowError(QWidget* parent, const QString& text);
// Shows Dialog modally and returns its result code.
int ExecDialog(QDialog& dialog);
QString ChooseFolder(QWidget* parent, const QString& caption, const QString& title,
                     const QString& start = {});
// The file-open dialog with several files allowed; an empty Caption keeps the dialog's own title.
QStringList ChooseFiles(QWidget* parent, const QString& caption = {}, const QString& start = {});

// Runs Handler; an exception it raises is shown in the standard error dialog instead of reaching the
// event loop. Every slot that calls engine code goes through here.
void RunGuarded(QWidget* parent, const std::function<void()>& handler);

// Texts in our tables break lines with CR LF; Qt wants a plain line feed on screen.
QString ScreenText(const QString& text);

} // namespace dialogs
