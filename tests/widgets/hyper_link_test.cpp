// The hyperlink label: its look, its events, and which addresses it hands to the web browser.
#include "tests/support/url_recorder.h"
#include "widgets/hyper_link.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

class HyperLinkTest : public ::testing::Test {
protected:
    HyperLinkTest() {
        m_link.setText(QStringLiteral("Order Online Now"));
        m_link.resize(120, 20);
        m_link.OnClick = [this](THyperLink* sender) { Record("click", sender); };
        m_link.OnAfterNavigate = [this](THyperLink* sender) { Record("after", sender); };
        m_link.OnMouseOver = [this](THyperLink* sender) { Record("over", sender); };
        m_link.OnMouseOut = [this](THyperLink* sender) { Record("out", sender); };
        m_link.show();
    }

    void Record(const std::string& event, THyperLink* sender) {
        EXPECT_EQ(sender, &m_link);
        // What the browser was handed so far tells the order of opening and events.
        m_events.push_back(event + " " + std::to_string(m_browser.opened.size()));
    }

    UrlRecorder m_browser;
    THyperLink m_link;
    std::vector<std::string> m_events;
};

TEST_F(HyperLinkTest, IsBlueUnderlinedWithTheHandCursorAndShowsItsAddress) {
    EXPECT_EQ(m_link.FontColor(), QColor(0, 0, 255));
    EXPECT_TRUE(m_link.font().underline());
    EXPECT_EQ(m_link.cursor().shape(), Qt::PointingHandCursor);

    m_link.SetHREF(QStringLiteral("http://example.com/order"));
    EXPECT_EQ(m_link.toolTip(), "http://example.com/order");
    m_link.setToolTip(QStringLiteral("another hint"));
    EXPECT_EQ(m_link.HREF(), "http://example.com/order");
}

TEST_F(HyperLinkTest, ALeftReleaseOverItClicksOpensAndReportsInThatOrder) {
    m_link.SetHREF(QStringLiteral("https://example.com/order?id=1"));
    QTest::mouseClick(&m_link, Qt::LeftButton);
    EXPECT_EQ(m_browser.opened, QStringList{"https://example.com/order?id=1"});
    EXPECT_EQ(m_events, (std::vector<std::string>{"click 0", "after 1"}));

    // A right click, and a release away from the link, do nothing.
    m_events.clear();
    QTest::mouseClick(&m_link, Qt::RightButton);
    QTest::mousePress(&m_link, Qt::LeftButton);
    QTest::mouseRelease(&m_link, Qt::LeftButton, {}, QPoint(500, 500));
    EXPECT_TRUE(m_events.empty());
    EXPECT_EQ(m_browser.opened.size(), 1);
}

TEST_F(HyperLinkTest, OpensOnlyWebAddressesButAlwaysReportsTheNavigation) {
    for (const char* address : {"", "ftp://example.com/file.zip", "file:///etc/passwd", "javascript:alert(1)",
                                "http://", "example.com/order", "http:///order"}) {
        SCOPED_TRACE(address);
        m_events.clear();
        m_link.SetHREF(QString::fromUtf8(address));
        QTest::mouseClick(&m_link, Qt::LeftButton);
        EXPECT_EQ(m_events, (std::vector<std::string>{"click 0", "after 0"}));
    }
    EXPECT_TRUE(m_browser.opened.isEmpty());
}

TEST_F(HyperLinkTest, ReportsTheMouseComingAndGoing) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), m_link.mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(&m_link, &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&m_link, &leave);
    EXPECT_EQ(m_events, (std::vector<std::string>{"over 0", "out 0"}));
}

} // namespace
