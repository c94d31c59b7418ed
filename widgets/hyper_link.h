// THyperLink: a label that behaves like a web link. It is drawn blue and underlined with the hand
// cursor, shows its address as its tool tip, and opens the address when the left button is released
// over it.
#pragma once

#include <QLabel>
#include <QString>

#include <functional>

class QUrl;

class THyperLink : public QLabel {
    Q_OBJECT
public:
    explicit THyperLink(QWidget* parent = nullptr);

    const QString& HREF() const { return m_href; }
    // Sets the address and the tool tip to Value; a later tool tip of its own leaves the address.
    void SetHREF(const QString& value);

    // The text colour (the label's foreground).
    void SetFontColor(const QColor& color);
    QColor FontColor() const;

    // Each is raised with the link as sender, when set.
    std::function<void(THyperLink* sender)> OnClick;
    std::function<void(THyperLink* sender)> OnMouseOver;
    std::function<void(THyperLink* sender)> OnMouseOut;
    // After a left-button release over the link, whether or not the address could be opened.
    std::function<void(THyperLink* sender)> OnAfterNavigate;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_href;
};

// An address that the program opens in the web browser: an http or https address naming a host.
bool IsWebAddress(const QString& address);
// Opens Address in the web browser when it is a web address; anything else is left alone. Returns
// whether it was handed on.
bool OpenWebAddress(const QString& address);
