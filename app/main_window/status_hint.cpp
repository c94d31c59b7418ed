// The run slots' hint window.
#include "app/main_window/status_hint.h"

#include <algorithm>

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

// The hint never takes the mouse: a hint that came up under the cursor would make the control it
// describes lose the mouse and hide it again.
TStatusHint::TStatusHint(QWidget* parent)
    : QLabel(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput) {
    setObjectName("FHintWindow");
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(255, 255, 231));
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setMargin(2);
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

int TStatusHint::CursorHeightMargin() {
    return 21;
}

void TStatusHint::ShowStatusHint(const QString& text) {
    if (isVisible())
        hide();
    if (text.isEmpty())
        return;
    const QPoint cursor = QCursor::pos();
    const QScreen* screen = QGuiApplication::screenAt(cursor);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const int maxWidth = screen ? screen->availableGeometry().width() : 600;
    setText(text);
    setMaximumWidth(maxWidth);
    // One line when it fits, wrapped to the work area's width when it does not.
    const int oneLine = fontMetrics().horizontalAdvance(text) + 2 * (margin() + frameWidth()) + 2;
    const int width = std::min(oneLine, maxWidth);
    resize(width, heightForWidth(width));
    move(cursor.x(), cursor.y() + CursorHeightMargin());
    show();
}

void TStatusHint::UpdateStatusHint(const QString& text) {
    if (isVisible())
        ShowStatusHint(text);
}

void TStatusHint::MoveStatusHint(int y, int x) {
    if (isVisible())
        move(x, y + CursorHeightMargin());
}
