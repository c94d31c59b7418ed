// The scripted dialogs of the window tests.
#include "tests/support/scripted_dialogs.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include <utility>

namespace testing_support {

ScriptedDialogs::ScriptedDialogs() : m_previous(dialogs::SetDialogHandler(this)) {}

ScriptedDialogs::~ScriptedDialogs() {
    dialogs::SetDialogHandler(m_previous);
}

namespace {

QMessageBox::StandardButton PressInRealBox(QWidget* parent, const dialogs::Message& message, Qt::Key key) {
    const std::unique_ptr<QMessageBox> box = dialogs::CreateMessageBox(parent, message);
    box->show();
    QCoreApplication::processEvents();
    QWidget* target = box->focusWidget() ? box->focusWidget() : box.get();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
    QAbstractButton* clicked = box->clickedButton();
    box->hide();
    return clicked ? box->standardButton(clicked) : QMessageBox::NoButton;
}

} // namespace

QMessageBox::StandardButton ScriptedDialogs::ShowMessage(QWidget* parent, const dialogs::Message& message) {
    messages.push_back(message);
    if (whileNextMessageShows)
        std::exchange(whileNextMessageShows, {})();
    if (!messageKeys.empty()) {
        const Qt::Key key = messageKeys.front();
        messageKeys.pop_front();
        return PressInRealBox(parent, message, key);
    }
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

} // namespace testing_support
