// TfrmPassword: the access-password prompt.
#pragma once

#include "widgets/modal_form.h"

#include <memory>

namespace Ui {
class TfrmPassword;
}
class QLineEdit;
class QPushButton;

class TfrmPassword : public TModalForm {
    Q_OBJECT
public:
    explicit TfrmPassword(QWidget* owner);
    ~TfrmPassword() override;

    QLineEdit* txtPassword() const;
    QPushButton* cmdOK() const;
    QPushButton* cmdCancel() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();

    std::unique_ptr<Ui::TfrmPassword> m_ui;
};
