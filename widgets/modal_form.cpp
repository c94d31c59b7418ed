// Modal forms with modal results.
#include "widgets/modal_form.h"

#include <QAbstractButton>

namespace {
constexpr const char* ModalResultProperty = "modalResult";
}

TModalForm::TModalForm(QWidget* parent) : QDialog(parent) {}

void TModalForm::SetModalResult(QAbstractButton* button, int result) {
    if (!button->property(ModalResultProperty).isValid()) {
        connect(button, &QAbstractButton::clicked, this, [this, button] {
            const int code = button->property(ModalResultProperty).toInt();
            if (code != mrNone)
                done(code);
        });
    }
    button->setProperty(ModalResultProperty, result);
}

int TModalForm::ModalResult(QAbstractButton* button) const {
    return button->property(ModalResultProperty).toInt();
}

void TModalForm::reject() {
    done(mrCancel);
}
