// TfrmPrompt: a general three-button prompt; the caller sets captions, modal results and visibility.
#pragma once

#include "widgets/modal_form.h"

#include <memory>

namespace Ui {
class TfrmPrompt;
}
class QCheckBox;
class QLabel;
class QPushButton;

class TfrmPrompt : public TModalForm {
    Q_OBJECT
public:
    explicit TfrmPrompt(QWidget* owner);
    ~TfrmPrompt() override;

    QLabel* imgSplash() const;
    QLabel* lblText() const;
    QCheckBox* chkConfirm() const;
    QPushButton* cmdOne() const;
    QPushButton* cmdTwo() const;
    QPushButton* cmdThree() const;

private:
    void FormCreate();

    std::unique_ptr<Ui::TfrmPrompt> m_ui;
};
