// The update tests' fixture.
#include "tests/updates/updates_fixture.h"

#include "engine/helpers.h"
#include "engine/net/mail_client.h"

#include <QDesktopServices>
#include <QThread>

#include <exception>

namespace testing_support {
namespace {
const char* const Schemes[] = {"http", "https", "file", "ftp", "javascript"};
}

void EventLoopDispatcher::Synchronize(const std::function<void()>& routine) {
    if (QThread::currentThread() == thread()) {
        routine();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        this,
        [&routine, &failure] {
            try {
                routine();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}

void EventLoopDispatcher::Queue(std::function<void()> routine) {
    QMetaObject::invokeMethod(
        this,
        [routine = std::move(routine)] {
            try {
                routine();
            } catch (const std::exception& error) {
                ADD_FAILURE() << "a queued routine raised " << error.what();
            }
        },
        Qt::QueuedConnection);
}

AnsweredDialogs::AnsweredDialogs() : m_previous(dialogs::SetDialogHandler(this)) {}

AnsweredDialogs::~AnsweredDialogs() {
    dialogs::SetDialogHandler(m_previous);
}

QMessageBox::StandardButton AnsweredDialogs::ShowMessage(QWidget*, const dialogs::Message& message) {
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

int AnsweredDialogs::ExecDialog(QDialog& dialog) {
    ADD_FAILURE() << "unexpected dialog " << dialog.objectName().toStdString();
    return 2;
}

QString AnsweredDialogs::ChooseFolder(QWidget*, const QString& caption, const QString& title, const QString&) {
    folderCaptions.push_back(caption + "|" + title);
    if (folderAnswers.empty())
        return {};
    const QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

QStringList AnsweredDialogs::ChooseFiles(QWidget*, const QString& caption, const QString&) {
    ADD_FAILURE() << "unexpected file question " << caption.toStdString();
    return {};
}

UrlRecorder::UrlRecorder() {
    for (const char* scheme : Schemes)
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
}

UrlRecorder::~UrlRecorder() {
    for (const char* scheme : Schemes)
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void UrlRecorder::Open(const QUrl& url) {
    opened << url.toString();
}

void UpdatesTest::SetUpTestSuite() {
    InitMailClients();
}

UpdatesTest::UpdatesTest() {
    SetDispatcher(&m_dispatcher);
    AppTitle = "Brimvale 2.0";
}

UpdatesTest::~UpdatesTest() {
    SetDispatcher(nullptr);
    AppTitle.clear();
}

} // namespace testing_support
