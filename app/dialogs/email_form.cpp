// The e-mail address list dialog.
#include "app/dialogs/email_form.h"
#include "widgets/text_conversion.h"

#include "app/app_texts.h"
#include "ui_email_form.h"
#include "widgets/dialogs.h"
#include "widgets/form_sizing.h"

#include <QApplication>
#include <QEvent>
#include <QLocale>
#include <QPushButton>

namespace {

void AppendAddresses(std::string& text, const char* heading, const std::vector<std::string>& list) {
    text += heading;
    for (const std::string& address : list)
        text += address + ", ";
}

std::vector<std::string> Lines(const QListWidget* list) {
    std::vector<std::string> lines;
    for (int row = 0; row < list->count(); ++row)
        lines.push_back(S(list->item(row)->text()));
    return lines;
}

void Fill(QListWidget* list, const std::vector<std::string>& lines) {
    list->clear();
    for (const std::string& line : lines)
        list->addItem(Q(line));
}

// The row holding Text, compared without regard to letter case; -1 when there is none.
int FindAddress(const QListWidget* list, const QString& text) {
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->text().compare(text, Qt::CaseInsensitive) == 0)
            return row;
    return -1;
}

// An address needs an at sign and a point somewhere. A control character or the profile file's list
// separator ";" would not survive the file, so they are refused as well.
bool IsUsableAddress(const QString& text) {
    if (!text.contains(QLatin1Char('@')) || !text.contains(QLatin1Char('.')))
        return false;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char(';'))
            return false;
    return true;
}

const char* const PageNames[] = {"To", "CC", "BCC"};

} // namespace

std::string EmailAddressText(const std::vector<std::string>& to, const std::vector<std::string>& cc,
                             const std::vector<std::string>& bcc) {
    std::string text;
    AppendAddresses(text, "TO: ", to);
    AppendAddresses(text, "| CC: ", cc);
    AppendAddresses(text, "| BCC: ", bcc);
    return text;
}

std::string EmailAddressText(const TEmailDestination& destination) {
    return EmailAddressText(destination.To, destination.CC, destination.BCC);
}

TfrmEmail::TfrmEmail(QWidget* owner) : TModalForm(owner), m_ui(std::make_unique<Ui::TfrmEmail>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    QPalette banner = m_ui->lblBanner->palette();
    banner.setColor(QPalette::Window, Qt::gray);
    banner.setColor(QPalette::WindowText, Qt::black);
    m_ui->lblBanner->setPalette(banner);
    SetModalResult(m_ui->cmdOK, mrOk);
    SetModalResult(m_ui->cmdCancel, mrCancel);

    const struct {
        QPushButton* add;
        QPushButton* replace;
        QPushButton* remove;
        QListWidget* list;
    } pages[] = {
        {m_ui->cmdAddToEmail, m_ui->cmdReplaceToEmail, m_ui->cmdDeleteToEmail, m_ui->lstToEmailAddresses},
        {m_ui->cmdAddCCEmail, m_ui->cmdReplaceCCEmail, m_ui->cmdDeleteCCEmail, m_ui->lstCCEmailAddresses},
        {m_ui->cmdAddBCCEmail, m_ui->cmdReplaceBCCEmail, m_ui->cmdDeleteBCCEmail, m_ui->lstBCCEmailAddresses},
    };
    for (const auto& page : pages) {
        QPushButton* add = page.add;
        QPushButton* replace = page.replace;
        QPushButton* remove = page.remove;
        connect(add, &QPushButton::clicked, this, [this, add] { AddEmailClick(add); });
        connect(replace, &QPushButton::clicked, this, [this, replace] { ReplaceEmailClick(replace); });
        connect(remove, &QPushButton::clicked, this, [this, remove] { DeleteEmailClick(remove); });
        page.list->viewport()->installEventFilter(this);
    }
    FormCreate();
}

TfrmEmail::~TfrmEmail() = default;

QLabel* TfrmEmail::lblBanner() const {
    return m_ui->lblBanner;
}

void TfrmEmail::SetAddresses(const std::vector<std::string>& to, const std::vector<std::string>& cc,
                             const std::vector<std::string>& bcc) {
    Fill(m_ui->lstToEmailAddresses, to);
    Fill(m_ui->lstCCEmailAddresses, cc);
    Fill(m_ui->lstBCCEmailAddresses, bcc);
}

std::vector<std::string> TfrmEmail::ToAddresses() const {
    return Lines(m_ui->lstToEmailAddresses);
}
std::vector<std::string> TfrmEmail::CCAddresses() const {
    return Lines(m_ui->lstCCEmailAddresses);
}
std::vector<std::string> TfrmEmail::BCCAddresses() const {
    return Lines(m_ui->lstBCCEmailAddresses);
}

void TfrmEmail::FormCreate() {
    FitClientToControl(this, m_ui->cmdCancel, 6, 4);
    setFixedSize(size());
}

TfrmEmail::TEmailPage TfrmEmail::PageOf(const QObject* sender, const char* prefix, const char* suffix) const {
    const QString name = sender ? sender->objectName() : QString();
    for (const char* page : PageNames) {
        if (name != QLatin1String(prefix) + QLatin1String(page) + QLatin1String(suffix))
            continue;
        const QString key = QLatin1String(page);
        return {findChild<QListWidget*>(QStringLiteral("lst") + key + QStringLiteral("EmailAddresses")),
                findChild<QLineEdit*>(QStringLiteral("txt") + key + QStringLiteral("EmailAddress"))};
    }
    return {};
}

bool TfrmEmail::CheckAddress(QLineEdit* edit) {
    if (IsUsableAddress(edit->text()))
        return true;
    dialogs::ShowError(this, Q(texts::EmailAddressInvalid));
    edit->setFocus();
    edit->selectAll();
    return false;
}

void TfrmEmail::AddEmailClick(QObject* sender) {
    const TEmailPage page = PageOf(sender, "cmdAdd", "Email");
    if (!page.list || !CheckAddress(page.edit))
        return;
    const QString address = QLocale().toLower(page.edit->text());
    if (FindAddress(page.list, address) < 0)
        page.list->addItem(address);
    page.edit->clear();
}

void TfrmEmail::ReplaceEmailClick(QObject* sender) {
    const TEmailPage page = PageOf(sender, "cmdReplace", "Email");
    if (!page.list || !CheckAddress(page.edit))
        return;
    if (page.list->count() == 0) {
        QApplication::beep();
        return;
    }
    const int row = page.list->currentRow();
    if (row < 0 || !page.list->item(row)->isSelected()) {
        dialogs::ShowError(this, Q(texts::EmailReplaceNoSelection));
        return;
    }
    const QString address = QLocale().toLower(page.edit->text());
    if (FindAddress(page.list, address) >= 0) {
        dialogs::ShowError(this, Q(texts::EmailReplaceExists));
        return;
    }
    page.list->item(row)->setText(address);
    page.edit->setText(address);
}

void TfrmEmail::DeleteEmailClick(QObject* sender) {
    const TEmailPage page = PageOf(sender, "cmdDelete", "Email");
    if (!page.list)
        return;
    page.edit->clear();
    const int row = page.list->currentRow();
    if (row >= 0 && page.list->item(row)->isSelected())
        std::unique_ptr<QListWidgetItem> removed(page.list->takeItem(row));
}

void TfrmEmail::EmailAddressListMouseUp(QObject* sender) {
    const TEmailPage page = PageOf(sender, "lst", "EmailAddresses");
    if (!page.list || page.list->count() == 0)
        return;
    const QList<QListWidgetItem*> selected = page.list->selectedItems();
    if (!selected.isEmpty())
        page.edit->setText(selected.front()->text());
}

bool TfrmEmail::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        // The lists receive their mouse events on their viewports.
        EmailAddressListMouseUp(watched->parent());
    }
    return TModalForm::eventFilter(watched, event);
}
