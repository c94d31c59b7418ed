// TModalForm: a dialog whose result is a modal result code, as the program's forms expect: a button
// with a modal result closes the dialog with it, and closing it otherwise gives mrCancel.
#pragma once

#include <QDialog>

class QAbstractButton;

enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
};

class TModalForm : public QDialog {
    Q_OBJECT
public:
    explicit TModalForm(QWidget* parent = nullptr);

    // A click on Button closes the dialog with Result; mrNone makes it an ordinary button again.
    void SetModalResult(QAbstractButton* button, int result);
    int ModalResult(QAbstractButton* button) const;

    void reject() override;
};
