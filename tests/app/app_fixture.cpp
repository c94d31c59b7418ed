// The program tests' shared fixture and scripted dialogs.
#include "tests/app/app_fixture.h"

#include "app/password_form.h"
#include "engine/helpers.h"
#include "platform/file_io.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>

#include <sys/stat.h>

namespace testing_support {

ScriptedDialogs::ScriptedDialogs() : m_previous(dialogs::SetDialogHandler(this)) {}

ScriptedDialogs::~ScriptedDialogs() {
    dialogs::SetDialogHandler(m_previous);
}

QMessageBox::StandardButton ScriptedDialogs::ShowMessage(QWidget*, const dialogs::Message& message) {
    messages.push_back(message);
    if (!messageAnswers.empty()) {
        const auto answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    for (int bit = 0; bit < 32; ++bit) {
        const auto button = static_cast<QMessageBox::StandardButton>(1u << bit);
        if (message.buttons.testFlag(button))
            return button;
    }
    return QMessageBox::Ok;
}

int ScriptedDialogs::ExecDialog(QDialog& dialog) {
    dialogsShown.push_back(dialog.objectName());
    if (dialogAnswers.empty()) {
        ADD_FAILURE() << "unexpected dialog " << dialog.objectName().toStdString();
        return 2; // mrCancel
    }
    const auto answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer(dialog);
}

QString ScriptedDialogs::ChooseFolder(QWidget*, const QString& caption, const QString& title,
                                      const QString&) {
    folderCaptions.push_back(caption + "|" + title);
    if (folderAnswers.empty())
        return {};
    const QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

QStringList ScriptedDialogs::ChooseFiles(QWidget*, const QString& caption, const QString&) {
    fileCaptions.push_back(caption);
    if (fileAnswers.empty())
        return {};
    const QStringList answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

std::vector<QString> ScriptedDialogs::MessageTexts() const {
    std::vector<QString> texts;
    for (const auto& message : messages)
        texts.push_back(message.text);
    return texts;
}

std::function<int(QDialog&)> TypePassword(const QString& text) {
    return [text](QDialog& dialog) {
        auto* edit = dialog.findChild<QLineEdit*>("txtPassword");
        EXPECT_NE(edit, nullptr);
        if (!edit)
            return 2;
        edit->setText(text);
        return ClickButton("cmdOK")(dialog);
    };
}

std::function<int(QDialog&)> ClickButton(const QString& name) {
    return [name](QDialog& dialog) {
        auto* button = dialog.findChild<QAbstractButton*>(name);
        EXPECT_NE(button, nullptr) << name.toStdString();
        if (!button)
            return 2;
        dialog.setResult(0);
        button->click();
        return dialog.result();
    };
}

std::function<int(QDialog&)> Cancel() {
    return ClickButton("cmdCancel");
}

AppTest::AppTest() {
    platform::ForceDirectories(Home());
    platform::ForceDirectories(Config());
    platform::ForceDirectories(Runtime());
    ::chmod(Runtime().c_str(), 0700);
    m_env.push_back(std::make_unique<ScopedEnv>("BRIMVALE_HOME", Home()));
    m_env.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", Config()));
    m_env.push_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", Runtime()));
    m_env.push_back(std::make_unique<ScopedEnv>("BRIMVALE_RESOURCES", BRIMVALE_RESOURCE_DIR));
    AppTitle = "Brimvale 2.0";
    AppVersion = {2, 0, 0, 0};
}

AppTest::~AppTest() {
    AppTitle.clear();
    AppVersion = {};
    ProfilesDir.clear();
    LogsDir.clear();
}

} // namespace testing_support
