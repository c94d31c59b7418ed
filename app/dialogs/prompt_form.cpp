// The three-button prompt.
#include "app/dialogs/prompt_form.h"

#include "ui_prompt_form.h"
#include "widgets/form_sizing.h"

#include <QApplication>
#include <QStyle>

TfrmPrompt::TfrmPrompt(QWidget* owner) : TModalForm(owner), m_ui(std::make_unique<Ui::TfrmPrompt>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    m_ui->imgSplash->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    SetModalResult(m_ui->cmdOne, mrCancel);
    SetModalResult(m_ui->cmdTwo, mrNone);
    SetModalResult(m_ui->cmdThree, mrYes);
    FormCreate();
}

TfrmPrompt::~TfrmPrompt() = default;

QLabel* TfrmPrompt::imgSplash() const {
    return m_ui->imgSplash;
}
QLabel* TfrmPrompt::lblText() const {
    return m_ui->lblText;
}
QCheckBox* TfrmPrompt::chkConfirm() const {
    return m_ui->chkConfirm;
}
QPushButton* TfrmPrompt::cmdOne() const {
    return m_ui->cmdOne;
}
QPushButton* TfrmPrompt::cmdTwo() const {
    return m_ui->cmdTwo;
}
QPushButton* TfrmPrompt::cmdThree() const {
    return m_ui->cmdThree;
}

void TfrmPrompt::FormCreate() {
    FitClientToControl(this, m_ui->cmdOne);
    // A dialog border: the user cannot resize it.
    setFixedSize(size());
}
