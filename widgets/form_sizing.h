// Fitting a form's client area.
#pragma once

class QWidget;

// Sets the client area of Form to ClientWidth by ClientHeight, in at most three passes (a window
// manager may adjust the first attempt).
void SetFormClientSize(QWidget* form, int clientHeight, int clientWidth);

// Fits Form's client area so that Reference (a control of the form, usually its bottom-right button)
// ends the given margins short of the right and bottom edges; the form's minimum size still holds.
// Lays the form out first, so the reference control stands where it will be shown.
void FitClientToControl(QWidget* form, const QWidget* reference, int rightMargin = 2, int bottomMargin = 2);
