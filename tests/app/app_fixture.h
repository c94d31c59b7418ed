// What the program's tests share: a private home, config and runtime folder per test, the program's
// title, and a dialog handler that answers every dialog from a script and records what it said.
#pragma once

#include "app/widgets/dialogs.h"
#include "tests/support/temp_dir.h"

#include <QDialog>
#include <QString>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
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
    std::deque<QString> folderAnswers;
    std::vector<QString> folderCaptions;
    // Answers for the next file choices; without one the choice is cancelled.
    std::deque<QStringList> fileAnswers;
    std::vector<QString> fileCaptions;

    std::vector<QString> MessageTexts() const;

private:
    dialogs::DialogHandler* m_previous;
};

// Answers: type Text into the password prompt and press OK; press the named button; cancel.
std::function<int(QDialog&)> TypePassword(const QString& text);
std::function<int(QDialog&)> ClickButton(const QString& name);
std::function<int(QDialog&)> Cancel();

// A private BRIMVALE_HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR, the title "Brimvale 2.0" and the
// resource folder of the build.
class AppTest : public ::testing::Test {
protected:
    AppTest();
    ~AppTest() override;

    std::string Home() const { return m_temp / "home/"; }
    std::string Config() const { return m_temp / "config/"; }
    std::string Runtime() const { return m_temp / "run/"; }
    std::string SettingsFile() const { return Home() + "brimvale.ini"; }
    std::string Temp(const std::string& relative) const { return m_temp / relative; }

    TempDir m_temp;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
    ScriptedDialogs m_dialogs;
};

} // namespace testing_support
