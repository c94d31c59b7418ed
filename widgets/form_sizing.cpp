// Fitting a form's client area.
#include "widgets/form_sizing.h"

#include <QLayout>
#include <QWidget>

#include <algorithm>

void SetFormClientSize(QWidget* form, int clientHeight, int clientWidth) {
    // Child widgets are placed by the form's layout, which follows the new size by itself.
    for (int pass = 0; pass < 3; ++pass) {
        form->resize(clientWidth, clientHeight);
        if (form->height() == clientHeight && form->width() == clientWidth)
            break;
    }
}

void FitClientToControl(QWidget* form, const QWidget* reference, int rightMargin, int bottomMargin) {
    if (QLayout* layout = form->layout())
        layout->activate();
    const QRect area(reference->mapTo(form, QPoint(0, 0)), reference->size());
    const int clientHeight = std::max(area.bottom() + 1 + bottomMargin, form->minimumHeight());
    const int clientWidth = std::max(area.right() + 1 + rightMargin, form->minimumWidth());
    if (clientHeight != form->height() || clientWidth != form->width())
        SetFormClientSize(form, clientHeight, clientWidth);
}
