// The dialog layer and its real handler.
#include "widgets/dialogs.h"
#include "widgets/text_conversion.h"

#include <QDialog>
#include <QFileDialog>

#include <exception>

namespace dialogs {
namespace {

QMessageBox::Icon ToQt(Icon icon) {
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

class RealDialogs : public DialogHandler {
public:
    QMessageBox::StandardButton ShowMessage(QWidget* parent, const Message& message) override {
        return static_cast<QMessageBox::StandardButton>(CreateMessageBox(parent, message)->exec());
    }
    int ExecDialog(QDialog& dialog) override { return dialog.exec(); }
    QString ChooseFolder(QWidget* parent, const QString& caption, const QString& title,
                         const QString& start) override {
        const QString shown = title.isEmpty() ? caption : caption + " - " + title;
        return QFileDialog::getExistingDirectory(parent, shown, start);
    }
    QStringList ChooseFiles(QWidget* parent, const QString& caption, const QString& start) override {
        return QFileDialog::getOpenFileNames(parent, caption, start);
    }
};

RealDialogs realDialogs;
DialogHandler* current = &realDialogs;

} // namespace

DialogHandler* SetDialogHandler(DialogHandler* handler) {
    DialogHandler* previous = current;
    current = handler ? handler : &realDialogs;
    return previous == &realDialogs ? nullptr : previous;
}

QString ScreenText(const QString& text) {
    QString shown = text;
    shown.replace("\r\n", "\n");
    return shown;
}

std::unique_ptr<QMessageBox> CreateMessageBox(QWidget* parent, const Message& message) {
    auto box = std::make_unique<QMessageBox>(ToQt(message.icon), message.caption, ScreenText(message.text),
                                             message.buttons, parent);
    if (message.defaultButton != QMessageBox::NoButton)
        box->setDefaultButton(message.defaultButton);
    return box;
}

QMessageBox::StandardButton MessageBox(QWidget* parent, const QString& text, const QString& caption,
                                       Icon icon, QMessageBox::StandardButtons buttons,
                                       QMessageBox::StandardButton defaultButton) {
    return current->ShowMessage(parent, Message{text, caption, icon, buttons, defaultButton});
}

void ShowError(QWidget* parent, const QString& text) {
    MessageBox(parent, text, QStringLiteral("Error"), Icon::Critical, QMessageBox::Ok);
}

void RunGuarded(QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowError(parent, Q(error.what()));
    } catch (...) {
        ShowError(parent, QStringLiteral("Unknown error"));
    }
}

int ExecDialog(QDialog& dialog) {
    return current->ExecDialog(dialog);
}

QString ChooseFolder(QWidget* parent, const QString& caption, const QString& title, const QString& start) {
    return current->ChooseFolder(parent, caption, title, start);
}

QStringList ChooseFiles(QWidget* parent, const QString& caption, const QString& start) {
    return current->ChooseFiles(parent, caption, start);
}

} // namespace dialogs
