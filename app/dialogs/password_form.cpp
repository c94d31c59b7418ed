// The access-password prompt.
#include "app/dialogs/password_form.h"

#include "ui_password_form.h"
#include "widgets/form_sizing.h"

TfrmPassword::TfrmPassword(QWidget* owner) : TModalForm(owner), m_ui(std::make_unique<Ui::TfrmPassword>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    SetModalResult(m_ui->cmdOK, mrOk);
    SetModalResult(m_ui->cmdCancel, mrCancel);
    FormCreate();
}

TfrmPassword::~TfrmPassword() = default;

QLineEdit* TfrmPassword::txtPassword() const {
    return m_ui->txtPassword;
}
QPushButton* TfrmPassword::cmdOK() const {
    return m_ui->cmdOK;
}
QPushButton* TfrmPassword::cmdCancel() const {
    return m_ui->cmdCancel;
}

void TfrmPassword::FormCreate() {
    FitClientToControl(this, m_ui->cmdCancel);
    // A dialog border: the user cannot resize it.
    setFixedSize(size());
}

void TfrmPassword::showEvent(QShowEvent* event) {
    TModalForm::showEvent(event);
    FormShow();
}

void TfrmPassword::FormShow() {
    m_ui->txtPassword->setFocus();
}
