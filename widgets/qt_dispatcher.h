// TQtDispatcher: the engine's way to the main thread in the program, through Qt's event loop.
#pragma once

#include "engine/thread.h"

#include <QObject>

class TQtDispatcher : public QObject, public TDispatcher {
    Q_OBJECT
public:
    // Lives on the thread that creates it, which must be the main thread.
    TQtDispatcher();

    // Blocks the calling worker until the main thread has run Routine; runs it at once when called
    // on the main thread (a blocking queued call would wait for itself there).
    void Synchronize(const std::function<void()>& routine) override;
    void Queue(std::function<void()> routine) override;
};
