// The new-profile wizard.
#include "app/dialogs/wizard_form.h"
#include "widgets/text_conversion.h"

#include "app/app_texts.h"
#include "app/dialogs/email_form.h"
#include "ui_wizard_form.h"
#include "widgets/dialogs.h"
#include "widgets/focus_leave.h"
#include "widgets/form_sizing.h"

#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QStyle>
#include <QTime>
#include <QTimeEdit>

#include <utility>

namespace {

constexpr int StepCount = 5;
// The longest run-log suffix a profile name gets: "_mmddyyyy_hhnnss.log".
constexpr std::size_t RunLogSuffixLength = 20;
constexpr std::size_t MaxFileNameLength = 255;
const QColor StepColour(0xff, 0xff, 0xff);
const QColor CurrentStepColour(0x00, 0xff, 0x00);

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

void SetBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

// A picker's time of day as a TDateTime (only the time of day counts for a schedule).
TDateTime PickerTime(const QTimeEdit* picker) {
    return picker->time().msecsSinceStartOfDay() / 86400000.0;
}

} // namespace

bool IsUsableProfileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    if (name.size() + RunLogSuffixLength > MaxFileNameLength)
        return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7f)
            return false;
    }
    return true;
}

TfrmBVWizard::TfrmBVWizard(QWidget* owner, std::vector<std::string> existingNames)
    : TModalForm(owner), m_ui(std::make_unique<Ui::TfrmBVWizard>()),
      m_existingNames(std::move(existingNames)) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    Ui::TfrmBVWizard& ui = *m_ui;
    SetBackground(ui.pnlPicture, Qt::black);
    for (QLabel* heading : {ui.lblHeading1, ui.lblHeading2, ui.lblHeading3, ui.lblHeading4, ui.lblHeading5}) {
        SetBackground(heading, Qt::gray);
        SetTextColour(heading, Qt::white);
    }
    // No FTP destination is offered.
    for (QWidget* ftp : {static_cast<QWidget*>(ui.chkFTPDest), static_cast<QWidget*>(ui.txtFTPDest),
                         static_cast<QWidget*>(ui.cmdFTPDest)})
        ftp->hide();
    ui.cboDay->setCurrentIndex(-1);
    SetModalResult(ui.cmdCancel, mrCancel);
    PaintPicture();
    ConnectHandlers();
    FormCreate();
}

TfrmBVWizard::~TfrmBVWizard() = default;

void TfrmBVWizard::ConnectHandlers() {
    Ui::TfrmBVWizard& ui = *m_ui;
    connect(ui.cmdNextFinish, &QPushButton::clicked, this, &TfrmBVWizard::cmdNextFinishClick);
    connect(ui.cmdPrevious, &QPushButton::clicked, this, &TfrmBVWizard::cmdPreviousClick);
    connect(ui.cmdAddFile, &QPushButton::clicked, this, &TfrmBVWizard::cmdAddFileClick);
    connect(ui.cmdAddDir, &QPushButton::clicked, this, &TfrmBVWizard::cmdAddDirClick);
    connect(ui.cmdRemove, &QPushButton::clicked, this, &TfrmBVWizard::cmdRemoveClick);
    connect(ui.txtDriveDest, &QLineEdit::textChanged, this, &TfrmBVWizard::txtDriveDestChange);
    connect(ui.cmdDriveDest, &QPushButton::clicked, this, &TfrmBVWizard::cmdDriveDestClick);
    connect(ui.cmdEmailDest, &QPushButton::clicked, this,
            [this] { EmailAddressesClick(m_ui->cmdEmailDest); });
    connect(ui.cmdEmailNotification, &QPushButton::clicked, this,
            [this] { EmailAddressesClick(m_ui->cmdEmailNotification); });
    connect(ui.chkEmailNotification, &QCheckBox::toggled, this, &TfrmBVWizard::chkEmailNotificationClick);
    connect(ui.chkCompression, &QCheckBox::toggled, this, &TfrmBVWizard::chkCompressionClick);
    // Moving to Cancel skips the checks: the wizard ends anyway. So does a leave that the checks of a step
    // change set off, or one after which the edit has the focus again (a step change checked it then).
    auto* focusLeave = new FocusLeaveWatcher(this);
    focusLeave->Watch(ui.txtDriveDest, [this](QWidget* newFocus) {
        if (newFocus != m_ui->cmdCancel && !m_checkingStep && !m_ui->txtDriveDest->hasFocus())
            txtDriveDestExit();
    });
    focusLeave->Watch(ui.txtVerifyPassword, [this](QWidget* newFocus) {
        if (newFocus != m_ui->cmdCancel && !m_checkingStep && !m_ui->txtVerifyPassword->hasFocus())
            txtVerifyPasswordExit();
    });
    ui.rgrSchedule->installEventFilter(this);
    // The form sees key releases before its controls.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

void TfrmBVWizard::FormCreate() {
    FitClientToControl(this, m_ui->cmdNextFinish);
    setFixedSize(size());
}

void TfrmBVWizard::showEvent(QShowEvent* event) {
    TModalForm::showEvent(event);
    PlaceScheduleControls();
    FormShow();
}

void TfrmBVWizard::FormShow() {
    ShowStep(1);
}

void TfrmBVWizard::PaintPicture() {
    // A drive with an arrow pointing into it.
    const int size = 72;
    QPixmap picture(size * 2, size * 2);
    picture.setDevicePixelRatio(2);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x60, 0x80, 0xc0), 2));
    painter.setBrush(QColor(0x20, 0x30, 0x60));
    painter.drawRoundedRect(QRectF(8, 40, 56, 24), 4, 4);
    painter.setBrush(CurrentStepColour);
    painter.drawEllipse(QPointF(54, 52), 3, 3);
    painter.setPen(Qt::NoPen);
    const QPointF arrow[] = {{28, 6}, {44, 6}, {44, 20}, {52, 20}, {36, 34}, {20, 20}, {28, 20}};
    painter.drawPolygon(arrow, 7);
    painter.end();
    m_ui->imgWizard->setPixmap(picture);
}

void TfrmBVWizard::HighlightStep(int step) {
    Ui::TfrmBVWizard& ui = *m_ui;
    QLabel* const labels[] = {ui.lblStep1, ui.lblStep2, ui.lblStep3, ui.lblStep4, ui.lblStep5};
    for (QLabel* label : labels)
        SetTextColour(label, StepColour);
    if (step >= 1 && step <= StepCount)
        SetTextColour(labels[step - 1], CurrentStepColour);
}

void TfrmBVWizard::ShowStep(int step) {
    Ui::TfrmBVWizard& ui = *m_ui;
    // Each step may only be entered when the ones before it are complete; otherwise the one before it
    // stays on screen. The drive path is checked here too: Enter and Page Down leave its step without
    // leaving the edit.
    const QScopedValueRollback<bool> checking(m_checkingStep, true);
    if (step == 2 && !CheckProfileName())
        step = 1;
    else if (step == 3 && ui.lstSource->count() == 0 && !ui.chkWizDesktop->isChecked() &&
             !ui.chkWizMyDocuments->isChecked() && !ui.chkWizFavorites->isChecked()) {
        dialogs::ShowError(this, Q(texts::WizardNoSource));
        step = 2;
    } else if (step == 4 && (!ValidateDestinations() || (ui.chkDriveDest->isChecked() && !CheckDrivePath())))
        step = 3;
    else if (step == 5 && !CheckPasswordsMatch())
        step = 4;

    m_currentStep = step;
    ui.cmdNextFinish->setText(step == StepCount ? QStringLiteral("&Finish") : QStringLiteral("&Next >"));
    ui.pnlSteps->setCurrentIndex(step - 1);
    ui.cmdPrevious->setEnabled(step > 1);
    if (step == 1)
        ui.txtProfileName->setFocus();
    HighlightStep(step);
}

bool TfrmBVWizard::CheckProfileName() {
    QLineEdit* edit = m_ui->txtProfileName;
    const QString name = edit->text();
    if (name.isEmpty()) {
        dialogs::ShowError(this, Q(texts::WizardNoProfileName));
        edit->setFocus();
        return false;
    }
    if (!IsUsableProfileName(S(name))) {
        dialogs::ShowError(this, Q(texts::ProfileNameUnusable));
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    if (ProfileNameExists()) {
        dialogs::ShowError(this, Q(texts::WizardProfileExists) + name + Q(texts::WizardProfileExistsEnd));
        edit->clear();
        edit->setFocus();
        return false;
    }
    return true;
}

bool TfrmBVWizard::ProfileNameExists() const {
    const QLocale locale;
    const QString name = locale.toUpper(m_ui->txtProfileName->text());
    for (const std::string& existing : m_existingNames)
        if (locale.toUpper(Q(existing)) == name)
            return true;
    return false;
}

bool TfrmBVWizard::ValidateDestinations() {
    Ui::TfrmBVWizard& ui = *m_ui;
    if (ui.chkDriveDest->isChecked() && ui.txtDriveDest->text().isEmpty()) {
        dialogs::ShowError(this, Q(texts::WizardNoDrivePath));
        ui.txtDriveDest->setFocus();
        return false;
    }
    if (ui.chkEmailDest->isChecked() && m_destination.To.empty()) {
        dialogs::ShowError(this, Q(texts::WizardNoToAddress));
        ui.txtEmailDest->setFocus();
        return false;
    }
    if (!ui.chkDriveDest->isChecked() && !ui.chkEmailDest->isChecked()) {
        dialogs::ShowError(this, Q(texts::WizardNoDestination));
        return false;
    }
    return true;
}

// The verify box is checked when it loses the focus, but a click on Next never takes the focus from it
// when it was not the last edit used, so the pair is compared again on the way into the schedule.
bool TfrmBVWizard::CheckPasswordsMatch() {
    Ui::TfrmBVWizard& ui = *m_ui;
    if (ui.txtPassword->text() == ui.txtVerifyPassword->text())
        return true;
    dialogs::ShowError(this, Q(texts::PasswordsDifferTryAgain));
    ui.txtPassword->clear();
    ui.txtVerifyPassword->clear();
    ui.txtPassword->setFocus();
    return false;
}

void TfrmBVWizard::cmdNextFinishClick() {
    if (m_currentStep < StepCount) {
        ShowStep(m_currentStep + 1);
        return;
    }
    Ui::TfrmBVWizard& ui = *m_ui;
    // A weekly schedule needs its day: without one, no day of the week could be stored.
    if (ui.rgrScheduleItem2->isChecked() && ui.cboDay->currentIndex() < 0) {
        dialogs::ShowError(this, Q(texts::WizardNoDay));
        ui.cboDay->setFocus();
        return;
    }
    done(mrOk);
}

void TfrmBVWizard::cmdPreviousClick() {
    if (m_currentStep > 1)
        ShowStep(m_currentStep - 1);
}

void TfrmBVWizard::FormKeyUp(int key) {
    if (key == Qt::Key_PageUp && m_currentStep > 1)
        ShowStep(m_currentStep - 1);
    else if (key == Qt::Key_PageDown && m_currentStep < StepCount)
        ShowStep(m_currentStep + 1);
}

void TfrmBVWizard::AddSource(const QString& entry) {
    QListWidget* list = m_ui->lstSource;
    // Sources are files of the file system: the same path only in another case is another file.
    QList<QListWidgetItem*> found = list->findItems(entry, Qt::MatchExactly | Qt::MatchCaseSensitive);
    QListWidgetItem* item = found.isEmpty() ? nullptr : found.front();
    if (!item) {
        list->addItem(entry);
        item = list->item(list->count() - 1);
    }
    item->setSelected(true);
}

void TfrmBVWizard::cmdAddFileClick() {
    const QStringList files = dialogs::ChooseFiles(this);
    for (const QString& file : files)
        AddSource(file);
    m_ui->lstSource->setFocus();
    m_ui->cmdRemove->setEnabled(!m_ui->lstSource->selectedItems().isEmpty());
}

void TfrmBVWizard::cmdAddDirClick() {
    const QString folder =
        dialogs::ChooseFolder(this, Q(texts::BrowseFolderCaption), Q(texts::BrowseFolderTitle));
    if (!folder.trimmed().isEmpty())
        AddSource(folder.endsWith(QLatin1Char('/')) ? folder + QLatin1Char('*')
                                                    : folder + QStringLiteral("/*"));
    m_ui->lstSource->setFocus();
    m_ui->cmdRemove->setEnabled(!m_ui->lstSource->selectedItems().isEmpty());
}

void TfrmBVWizard::cmdRemoveClick() {
    QListWidget* list = m_ui->lstSource;
    if (!list->selectedItems().isEmpty()) {
        for (int row = list->count() - 1; row >= 0; --row)
            if (list->item(row)->isSelected())
                std::unique_ptr<QListWidgetItem> removed(list->takeItem(row));
    }
    if (list->count() == 0) {
        m_ui->cmdRemove->setEnabled(false);
        return;
    }
    if (list->selectedItems().isEmpty())
        list->item(0)->setSelected(true);
}

void TfrmBVWizard::txtDriveDestChange() {
    m_ui->txtDriveDest->setToolTip(m_ui->txtDriveDest->text());
}

void TfrmBVWizard::txtDriveDestExit() {
    CheckDrivePath();
}

bool TfrmBVWizard::CheckDrivePath() {
    QLineEdit* edit = m_ui->txtDriveDest;
    static const QRegularExpression refused(QStringLiteral("[*?\"<>|]"));
    const bool bad = edit->text().contains(refused);
    if (bad)
        dialogs::ShowError(this, Q(texts::DrivePathCharacters));
    if (!edit->text().isEmpty() && !edit->text().endsWith(QLatin1Char('/')))
        edit->setText(edit->text() + QLatin1Char('/'));
    if (bad) {
        edit->setFocus();
        edit->selectAll();
    }
    return !bad;
}

void TfrmBVWizard::cmdDriveDestClick() {
    const QString folder =
        dialogs::ChooseFolder(this, Q(texts::BrowseFolderCaption), Q(texts::DriveDestBrowseTitle));
    if (folder.isEmpty())
        return;
    // The path is a folder: the same form as a path typed and left.
    m_ui->txtDriveDest->setText(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

void TfrmBVWizard::EmailAddressesClick(QObject* sender) {
    Ui::TfrmBVWizard& ui = *m_ui;
    TEmailDestination* lists = nullptr;
    QLineEdit* shown = nullptr;
    const char* caption = nullptr;
    const char* banner = nullptr;
    if (sender && sender->objectName() == QLatin1String("cmdEmailDest")) {
        lists = &m_destination;
        shown = ui.txtEmailDest;
        caption = texts::EmailDestinationCaption;
        banner = texts::EmailDestinationBanner;
    } else if (sender && sender->objectName() == QLatin1String("cmdEmailNotification")) {
        lists = &m_notification;
        shown = ui.txtEmailNotification;
        caption = texts::EmailNotificationCaption;
        banner = texts::EmailNotificationBanner;
    } else {
        return;
    }
    TfrmEmail dialog(this);
    dialog.setWindowTitle(Q(caption));
    dialog.lblBanner()->setText(Q(banner));
    dialog.SetAddresses(lists->To, lists->CC, lists->BCC);
    if (dialogs::ExecDialog(dialog) != mrOk)
        return;
    lists->To = dialog.ToAddresses();
    lists->CC = dialog.CCAddresses();
    lists->BCC = dialog.BCCAddresses();
    shown->setText(Q(EmailAddressText(*lists)));
    shown->setToolTip(shown->text());
}

void TfrmBVWizard::chkEmailNotificationClick() {
    Ui::TfrmBVWizard& ui = *m_ui;
    const bool enabled = ui.chkEmailNotification->isChecked();
    for (QWidget* control :
         {static_cast<QWidget*>(ui.txtEmailNotification), static_cast<QWidget*>(ui.cmdEmailNotification),
          static_cast<QWidget*>(ui.chkNotifyOnError), static_cast<QWidget*>(ui.chkNotifyLogErrors),
          static_cast<QWidget*>(ui.chkNotifyLogWarnings), static_cast<QWidget*>(ui.chkNotifyLogSuccesses)})
        control->setEnabled(enabled);
}

void TfrmBVWizard::chkCompressionClick() {
    // The group's labels, spin box, password edits and self-extract box follow the group.
    m_ui->grpCompressOptions->setEnabled(m_ui->chkCompression->isChecked());
}

void TfrmBVWizard::txtVerifyPasswordExit() {
    Ui::TfrmBVWizard& ui = *m_ui;
    if (ui.txtPassword->text() == ui.txtVerifyPassword->text())
        return;
    dialogs::ShowError(this, Q(texts::PasswordsDifferTryAgain));
    ui.txtPassword->clear();
    ui.txtVerifyPassword->clear();
    ui.txtPassword->setFocus();
}

bool TfrmBVWizard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat() && (key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown)) {
            FormKeyUp(key->key());
            return true;
        }
        break;
    }
    case QEvent::Resize:
    case QEvent::LayoutRequest:
        if (watched == m_ui->rgrSchedule)
            PlaceScheduleControls();
        break;
    default:
        break;
    }
    return TModalForm::eventFilter(watched, event);
}

void TfrmBVWizard::PlaceScheduleControls() {
    Ui::TfrmBVWizard& ui = *m_ui;
    struct Placement {
        QRadioButton* item;
        QWidget* inGap; // over the wide blanks of the item's text
        QWidget* after; // after the item's text
    };
    const Placement placements[] = {
        {ui.rgrScheduleItem0, ui.spnHours, nullptr},
        {ui.rgrScheduleItem1, nullptr, ui.datDailyTime},
        {ui.rgrScheduleItem2, ui.cboDay, ui.datDayTime},
        {ui.rgrScheduleItem3, ui.spnDayOfMonth, ui.datDayOfMonthTime},
    };
    int rowHeight = 0;
    for (const auto& placement : placements)
        for (QWidget* control : {placement.inGap, placement.after})
            if (control)
                rowHeight = std::max(rowHeight, control->sizeHint().height());
    static const QRegularExpression gap(QStringLiteral(" {2,}"));
    for (const auto& placement : placements) {
        QRadioButton* item = placement.item;
        item->setMinimumHeight(rowHeight);
        const QFontMetrics metrics(item->font());
        const QStyle* style = item->style();
        const int textLeft = item->x() +
                             style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, item) +
                             style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, item);
        const QString text = item->text();
        const auto place = [&](QWidget* control, int left, int width) {
            const int height = control->sizeHint().height();
            control->setGeometry(left, item->y() + (item->height() - height) / 2, width, height);
            control->raise();
        };
        if (placement.inGap) {
            const QRegularExpressionMatch blanks = gap.match(text);
            const int space = metrics.horizontalAdvance(QLatin1Char(' '));
            const int left = textLeft + metrics.horizontalAdvance(text.left(blanks.capturedStart())) + space;
            const int width = std::max(metrics.horizontalAdvance(blanks.captured()) - 2 * space,
                                       placement.inGap->minimumSizeHint().width());
            place(placement.inGap, left, width);
        }
        if (placement.after) {
            const int left =
                textLeft + metrics.horizontalAdvance(text) + metrics.horizontalAdvance(QLatin1Char(' '));
            place(placement.after, left, placement.after->sizeHint().width());
        }
    }
}

std::string TfrmBVWizard::ProfileName() const {
    return S(m_ui->txtProfileName->text());
}

void TfrmBVWizard::WriteAnswers(TBackupProfile& profile) const {
    const Ui::TfrmBVWizard& ui = *m_ui;
    profile.Name = ProfileName();
    for (int row = 0; row < ui.lstSource->count(); ++row)
        profile.Sources.push_back(S(ui.lstSource->item(row)->text()));
    TBackupAttributes& attributes = profile.BackupAttributes;
    attributes.Desktop = ui.chkWizDesktop->isChecked();
    attributes.MyDocuments = ui.chkWizMyDocuments->isChecked();
    attributes.Favorites = ui.chkWizFavorites->isChecked();
    profile.DriveDestination.Active = ui.chkDriveDest->isChecked();
    profile.DriveDestination.Path = S(ui.txtDriveDest->text());
    profile.EmailDestination.Active = ui.chkEmailDest->isChecked();
    profile.EmailDestination.To = m_destination.To;
    profile.EmailDestination.CC = m_destination.CC;
    profile.EmailDestination.BCC = m_destination.BCC;
    profile.EmailNotification.Active = ui.chkEmailNotification->isChecked();
    profile.EmailNotification.To = m_notification.To;
    profile.EmailNotification.CC = m_notification.CC;
    profile.EmailNotification.BCC = m_notification.BCC;
    profile.EmailNotifyErrorsOnly = ui.chkNotifyOnError->isChecked();
    profile.EmailNotifyLogFlags = static_cast<std::uint8_t>((ui.chkNotifyLogErrors->isChecked() ? 1 : 0) +
                                                            (ui.chkNotifyLogWarnings->isChecked() ? 2 : 0) +
                                                            (ui.chkNotifyLogSuccesses->isChecked() ? 4 : 0));
    attributes.Compress = ui.chkCompression->isChecked();
    attributes.Password = S(ui.txtPassword->text());
    attributes.Generations = static_cast<std::uint32_t>(ui.spnGenerations->value());
    attributes.SelfExtracting = ui.chkSelfExtract->isChecked();
    attributes.DirectoryAttributeMask = 63;
    attributes.FileAttributeMask = 63;

    TBackupSchedule& schedule = profile.Schedule;
    if (ui.rgrScheduleItem0->isChecked()) {
        schedule.ScheduleType = stHourly;
        schedule.SetHours(ui.spnHours->value());
    } else if (ui.rgrScheduleItem1->isChecked()) {
        schedule.ScheduleType = stDaily;
        schedule.DailyTime = PickerTime(ui.datDailyTime);
    } else if (ui.rgrScheduleItem2->isChecked()) {
        // The wizard does not finish a weekly schedule without its day.
        const int day = ui.cboDay->currentIndex();
        if (day == 0) {
            schedule.ScheduleType = stWeekdays;
        } else {
            schedule.ScheduleType = stWeekly;
            schedule.Day = static_cast<std::uint8_t>(std::max(day - 1, 0));
        }
        schedule.DayTime = PickerTime(ui.datDayTime);
    } else if (ui.rgrScheduleItem3->isChecked()) {
        schedule.ScheduleType = stMonthly;
        schedule.DayOfMonth = ui.spnDayOfMonth->value();
        schedule.DayOfMonthTime = PickerTime(ui.datDayOfMonthTime);
    } else {
        schedule.ScheduleType = stManual;
    }
}
