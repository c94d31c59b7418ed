// TfrmLog: the modal window that shows one run log, each line coloured by its kind of entry, with a
// search that lists the matching lines, a choice of font size and printing.
#pragma once

#include "app/log_window/log_printer.h"
#include "widgets/modal_form.h"

#include <QString>

#include <memory>

namespace Ui {
class TfrmLog;
}
class TLogView;
class TQMLogHighlighter;
class TSearchResultDelegate;

class TfrmLog : public TModalForm {
    Q_OBJECT
public:
    explicit TfrmLog(QWidget* owner);
    ~TfrmLog() override;

    TLogView* txtLog() const;
    TQMLogHighlighter* GetHighlighter() const { return Highlighter; }
    // The profile whose log is shown; it names the printout.
    const QString& GetProfileName() const { return ProfileName; }
    void SetProfileName(const QString& name) { ProfileName = name; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormResize();
    void LayoutSearchResults();
    void CentreOnScreen();
    void cmdSearchClick();
    void lstSearchResultsDblClick();
    void cboFontSizeChange();
    void splMainMoved();
    void txtSearchEnter();
    void txtSearchExit();
    void cmdPrintLogClick();

    std::unique_ptr<Ui::TfrmLog> m_ui;
    // The last searched text: the result list draws it in bold and the jump looks for it.
    QString SearchText;
    TQMLogHighlighter* Highlighter = nullptr;
    QString ProfileName;
    TLogPrinter objPrinter;
    // Draws the result list (owned by the list).
    TSearchResultDelegate* m_resultDelegate = nullptr;
};
