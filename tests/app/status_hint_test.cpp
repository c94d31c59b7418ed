// The run slots' hint window: shown below the cursor, never wider than the work area, updated only
// while shown.
#include "app/main_window/status_hint.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

TEST(StatusHintTest, ShowsBelowTheCursorInItsColourAndHidesForAnEmptyText) {
    TStatusHint hint;
    EXPECT_EQ(hint.palette().color(QPalette::Window), QColor(255, 255, 231));
    QCursor::setPos(100, 120);
    const QPoint cursor = QCursor::pos();
    hint.ShowStatusHint("/home/user/Documents/letter.odt");
    ASSERT_TRUE(hint.isVisible());
    EXPECT_EQ(hint.text(), "/home/user/Documents/letter.odt");
    EXPECT_EQ(hint.pos(), QPoint(cursor.x(), cursor.y() + TStatusHint::CursorHeightMargin()));
    EXPECT_GE(hint.width(), hint.fontMetrics().horizontalAdvance(hint.text()));

    const QSize size = hint.size();
    hint.MoveStatusHint(300, 200);
    EXPECT_EQ(hint.pos(), QPoint(200, 300 + TStatusHint::CursorHeightMargin()));
    EXPECT_EQ(hint.size(), size);

    hint.ShowStatusHint("");
    EXPECT_FALSE(hint.isVisible());
}

TEST(StatusHintTest, ALongTextWrapsWithinTheWorkArea) {
    TStatusHint hint;
    const int workArea = QGuiApplication::primaryScreen()->availableGeometry().width();
    hint.ShowStatusHint(QString("/very/long/folder ").repeated(200));
    ASSERT_TRUE(hint.isVisible());
    EXPECT_LE(hint.width(), workArea);
    EXPECT_GT(hint.height(), 2 * hint.fontMetrics().height());
}

TEST(StatusHintTest, AnUpdateNeverPopsUpAHiddenHint) {
    TStatusHint hint;
    hint.UpdateStatusHint("12.00 KB of 1.00 MB processed.");
    EXPECT_FALSE(hint.isVisible());
    hint.MoveStatusHint(10, 10);
    EXPECT_FALSE(hint.isVisible());

    hint.ShowStatusHint("first");
    hint.UpdateStatusHint("second");
    EXPECT_TRUE(hint.isVisible());
    EXPECT_EQ(hint.text(), "second");
    hint.UpdateStatusHint("");
    EXPECT_FALSE(hint.isVisible());
}

} // namespace
