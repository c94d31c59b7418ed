// TfrmEmail: the dialog that edits the To, CC and BCC address lists of an e-mail destination or of
// the notification recipients; and the one-line text that shows such lists.
#pragma once

#include "engine/backup_profile.h"
#include "widgets/modal_form.h"

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TfrmEmail;
}
class QLabel;
class QLineEdit;
class QListWidget;
class QObject;

// "TO: " and every To address followed by ", ", then "| CC: " and the CC addresses, then "| BCC: "
// and the BCC addresses, each followed by ", " (the last one too).
std::string EmailAddressText(const std::vector<std::string>& to, const std::vector<std::string>& cc,
                             const std::vector<std::string>& bcc);
std::string EmailAddressText(const TEmailDestination& destination);

class TfrmEmail : public TModalForm {
    Q_OBJECT
public:
    explicit TfrmEmail(QWidget* owner);
    ~TfrmEmail() override;

    // The caller sets the caption (setWindowTitle) and the banner, fills the lists, shows the dialog
    // and, on mrOk, reads the lists back.
    QLabel* lblBanner() const;
    void SetAddresses(const std::vector<std::string>& to, const std::vector<std::string>& cc,
                      const std::vector<std::string>& bcc);
    std::vector<std::string> ToAddresses() const;
    std::vector<std::string> CCAddresses() const;
    std::vector<std::string> BCCAddresses() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The list and the edit of the page that Sender belongs to, found by its name.
    struct TEmailPage {
        QListWidget* list = nullptr;
        QLineEdit* edit = nullptr;
    };
    TEmailPage PageOf(const QObject* sender, const char* prefix, const char* suffix) const;

    void FormCreate();
    void AddEmailClick(QObject* sender);
    void ReplaceEmailClick(QObject* sender);
    void DeleteEmailClick(QObject* sender);
    void EmailAddressListMouseUp(QObject* sender);
    // False, after telling the user and selecting the edit's text, when it is no usable address.
    bool CheckAddress(QLineEdit* edit);

    std::unique_ptr<Ui::TfrmEmail> m_ui;
};
