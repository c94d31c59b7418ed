// A dialog handler for window tests: it answers every dialog from a script and records what it said.
#pragma once

#include "widgets/dialogs.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace testing_support {

class ScriptedDialogs : public dialogs::DialogHandler {
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    QMessageBox::StandardButton ShowMessage(QWidget* parent, const dialogs::Message& message) override;
    int ExecDialog(QDialog& dialog) override;
    QString ChooseFolder(QWidget* parent, const QString& caption, const QString& title,
                         const QString& start) override;
    QStringList ChooseFiles(QWidget* parent, const QString& caption, const QString& start) override;

    // Every message box shown, in order.
    std::vector<dialogs::Message> messages;
    // The object names of the modal dialogs shown, in order.
    std::vector<QString> dialogsShown;
    // Answers for the next modal dialogs; a dialog without an answer fails the test and is cancelled.
    std::deque<std::function<int(QDialog&)>> dialogAnswers;
    // Answers for the next message boxes; without one a box is answered with its first button.
    std::deque<QMessageBox::StandardButton> messageAnswers;
    // Keys pressed in the next message boxes, which are then shown for real as the program shows them
    // and answered with the button the key pressed (before any messageAnswers).
    std::deque<Qt::Key> messageKeys;
    // Runs once while the next message box shows, before it is answered.
    std::function<void()> whileNextMessageShows;
    std::deque<QString> folderAnswers;
    std::vector<QString> folderCaptions;
    // Answers for the next file choices; without one the choice is cancelled.
    std::deque<QStringList> fileAnswers;
    std::vector<QString> fileCaptions;

    std::vector<QString> MessageTexts() const;

private:
    dialogs::DialogHandler* m_previous;
};

} // namespace testing_support
