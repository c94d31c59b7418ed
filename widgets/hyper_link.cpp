// The hyperlink label.
#include "widgets/hyper_link.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QTextDocument>
#include <QUrl>

THyperLink::THyperLink(QWidget* parent) : QLabel(parent) {
    SetFontColor(QColor(0, 0, 255));
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
}

void THyperLink::SetHREF(const QString& value) {
    m_href = value;
    // A tool tip that looks like markup is shown as markup: the address is escaped so that it shows as
    // it is, unwrapped.
    setToolTip(Qt::mightBeRichText(value) ? QStringLiteral("<p style='white-space:pre'>") +
                                                value.toHtmlEscaped() + QStringLiteral("</p>")
                                          : value);
}

void THyperLink::SetFontColor(const QColor& color) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, color);
    setPalette(colours);
}

QColor THyperLink::FontColor() const {
    return palette().color(QPalette::WindowText);
}

void THyperLink::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    if (OnMouseOver)
        OnMouseOver(this);
}

void THyperLink::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    if (OnMouseOut)
        OnMouseOut(this);
}

void THyperLink::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    if (OnClick)
        OnClick(this);
    OpenWebAddress(m_href);
    if (OnAfterNavigate)
        OnAfterNavigate(this);
}

bool IsWebAddress(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

bool OpenWebAddress(const QString& address) {
    if (!IsWebAddress(address))
        return false;
    QDesktopServices::openUrl(QUrl(address, QUrl::StrictMode));
    return true;
}
