// A check box whose caption is a label of its own, so that the caption can wrap where the page is
// narrower than the text.
#pragma once

#include <QObject>

class QAbstractButton;
class QLabel;

// A click on Caption works Box, as a click on a check box's own caption does. Owned by the caption.
class CaptionClicks : public QObject {
    Q_OBJECT
public:
    CaptionClicks(QLabel* caption, QAbstractButton* box);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractButton* m_box;
};
