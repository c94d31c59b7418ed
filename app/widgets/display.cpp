// Fitting a form's client area.
#include "app/widgets/display.h"

#include <QWidget>

void SetFormClientSize(QWidget* form, int clientHeight, int clientWidth) {
    // Child widgets are placed by the form's layout, which follows the new size by itself.
    for (int pass = 0; pass < 3; ++pass) {
        form->resize(clientWidth, clientHeight);
        if (form->height() == clientHeight && form->width() == clientWidth)
            break;
    }
}
