// The hint window of the run slots: the full text of a slot's file label or gauge, shown just below the
// mouse cursor while the mouse rests on the control.
#pragma once

#include <QLabel>
#include <QPoint>

class TStatusHint : public QLabel {
    Q_OBJECT
public:
    // What the hint shows: the slot number (from 1) in the low four bits and the kind above them.
    static constexpr int kFileLabel = 0x10;
    static constexpr int kGauge = 0x40;

    explicit TStatusHint(QWidget* parent = nullptr);

    int Tag() const { return m_tag; }
    void SetTag(int tag) { m_tag = tag; }
    int Slot() const { return m_tag & 0x0f; }
    int Kind() const { return m_tag & 0xf0; }

    // Hides the hint, then shows Text below the cursor (no wider than the screen's work area); an empty
    // text leaves it hidden.
    void ShowStatusHint(const QString& text);
    // Shows the new text only while the hint is shown: an update never pops up a hidden hint.
    void UpdateStatusHint(const QString& text);
    // Follows the cursor at Y, X while shown, keeping the hint's size.
    void MoveStatusHint(int y, int x);

    // The distance from the cursor's hot spot down to below its picture. The cursor's image cannot be
    // read here, so this is a fixed height in logical pixels, which Qt scales to the screen.
    static int CursorHeightMargin();

private:
    int m_tag = 0;
};
