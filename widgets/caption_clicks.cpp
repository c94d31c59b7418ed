// The caption label that works its check box.
#include "widgets/caption_clicks.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMouseEvent>

CaptionClicks::CaptionClicks(QLabel* caption, QAbstractButton* box) : QObject(caption), m_box(box) {
    caption->installEventFilter(this);
}

bool CaptionClicks::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease || !m_box->isEnabled())
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const auto* caption = static_cast<QWidget*>(watched);
    if (mouse->button() == Qt::LeftButton && caption->rect().contains(mouse->position().toPoint())) {
        m_box->setFocus(Qt::MouseFocusReason);
        m_box->click();
    }
    return false;
}
