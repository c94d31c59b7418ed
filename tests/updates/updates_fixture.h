// What the update tests share: a dispatcher that reaches the main thread through Qt's event loop,
// dialogs answered from a script, a recorder of the addresses handed to the web browser, a temporary
// folder and a loopback HTTP server.
#pragma once

#include "app/widgets/dialogs.h"
#include "engine/thread.h"
#include "tests/support/http_server.h"
#include "tests/support/temp_dir.h"

#include <QObject>
#include <QStringList>
#include <QUrl>

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace testing_support {

// Runs the workers' routines on the thread that created it, through its event loop, as the program does.
class EventLoopDispatcher : public QObject, public TDispatcher {
    Q_OBJECT
public:
    void Synchronize(const std::function<void()>& routine) override;
    void Queue(std::function<void()> routine) override;
};

// Records every message box and folder question; answers them from the queues, else with the box's
// first button and a cancelled folder choice.
class AnsweredDialogs : public dialogs::DialogHandler {
public:
    AnsweredDialogs();
    ~AnsweredDialogs() override;

    QMessageBox::StandardButton ShowMessage(QWidget* parent, const dialogs::Message& message) override;
    int ExecDialog(QDialog& dialog) override;
    QString ChooseFolder(QWidget* parent, const QString& caption, const QString& title,
                         const QString& start) override;
    // No update test asks for files: such a question fails the test.
    QStringList ChooseFiles(QWidget* parent, const QString& caption, const QString& start) override;

    std::vector<dialogs::Message> messages;
    std::deque<QMessageBox::StandardButton> messageAnswers;
    std::deque<QString> folderAnswers;
    // "caption|title" of each folder question.
    std::vector<QString> folderCaptions;

private:
    dialogs::DialogHandler* m_previous;
};

// Takes the place of the web browser for http, https and every other scheme a test hands out.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    UrlRecorder();
    ~UrlRecorder() override;

    QStringList opened;

public slots:
    void Open(const QUrl& url);
};

class UpdatesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    UpdatesTest();
    ~UpdatesTest() override;

    std::string Temp(const std::string& relative) const { return m_temp / relative; }

    TempDir m_temp;
    EventLoopDispatcher m_dispatcher;
    AnsweredDialogs m_dialogs;
    HttpTestServer m_server;
};

} // namespace testing_support
