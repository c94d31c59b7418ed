// Fitting a form's client area.
#pragma once

class QWidget;

// Sets the client area of Form to ClientWidth by ClientHeight, in at most three passes (a window
// manager may adjust the first attempt).
void SetFormClientSize(QWidget* form, int clientHeight, int clientWidth);
