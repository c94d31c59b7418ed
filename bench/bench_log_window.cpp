// The log window's benchmark: opens the one run log of BRIMVALE_HOME's Logs/ folder from the Log page as a
// user does, and searches it for a word.
//   bench_log_window WORD
// Prints "open SECONDS search SECONDS hits COUNT": the time from the double-click to the window's first
// painted lines, and from the click on Search to the listed results.
#include "app/log_window/log_view.h"
#include "app/main_window/main_window.h"
#include "engine/thread.h"
#include "widgets/qt_dispatcher.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// Notes the first paint of the log view that has a text to show.
class TFirstLines : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_seen && event->type() == QEvent::Paint) {
            auto* view = watched->parent() ? qobject_cast<TLogView*>(watched->parent()) : nullptr;
            if (view && watched == view->viewport() && !view->Text().IsEmpty()) {
                m_seen = true;
                // Once this paint is done.
                QTimer::singleShot(0, view, [this, view] { OnShown(view); });
            }
        }
        return false;
    }

    std::function<void(TLogView*)> OnShown;

private:
    bool m_seen = false;
};

void ShowPageOf(QWidget* control) {
    for (QWidget* child = control; child && child->parentWidget(); child = child->parentWidget()) {
        auto* stack = qobject_cast<QStackedWidget*>(child->parentWidget());
        if (auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr)
            tabs->setCurrentWidget(child);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || !std::getenv("BRIMVALE_HOME")) {
        std::fprintf(stderr, "bench_log_window WORD, with BRIMVALE_HOME set\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    TQtDispatcher dispatcher;
    SetDispatcher(&dispatcher);
    TMainWindowOptions options;
    options.SystemTray = false;
    TfrmMain window(options);
    window.show();
    auto* list = window.findChild<QTableWidget*>(QStringLiteral("lvwLog"));
    if (!list || list->rowCount() != 1) {
        std::fprintf(stderr, "bench_log_window: the Log page must list exactly one run\n");
        return 2;
    }
    ShowPageOf(list);
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    double openSeconds = 0;
    double searchSeconds = 0;
    int hits = 0;
    TFirstLines firstLines;
    firstLines.OnShown = [&](TLogView* view) {
        openSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        QWidget* form = view->window();
        form->findChild<QLineEdit*>(QStringLiteral("txtSearch"))->setText(QString::fromLocal8Bit(argv[1]));
        auto* results = form->findChild<QListWidget*>(QStringLiteral("lstSearchResults"));
        clock.restart();
        form->findChild<QPushButton*>(QStringLiteral("cmdSearch"))->click();
        QCoreApplication::processEvents();
        searchSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        hits = results->count();
        form->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    };
    application.installEventFilter(&firstLines);

    const QPoint row = list->visualItemRect(list->item(0, 1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
    clock.start();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
    application.removeEventFilter(&firstLines);
    SetDispatcher(nullptr);
    std::printf("open %.3f search %.3f hits %d\n", openSeconds, searchSeconds, hits);
    return openSeconds > 0 ? 0 : 1;
}
