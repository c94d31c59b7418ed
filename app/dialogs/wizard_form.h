// TfrmBVWizard: the five-step dialog (name, sources, destinations, options, schedule) through which a
// new profile is created. It creates no profile itself: on mrOk it writes its answers into the one the main
// window creates.
#pragma once

#include "engine/backup_profile.h"
#include "widgets/modal_form.h"

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TfrmBVWizard;
}
class QObject;

// Whether Name can name a profile's files: not empty, not "." or "..", no "/", "\" or control
// character, and short enough that its run-log name (Name + "_mmddyyyy_hhnnss.log") fits a file name.
bool IsUsableProfileName(const std::string& name);

class TfrmBVWizard : public TModalForm {
    Q_OBJECT
public:
    // ExistingNames: the names of the profiles already listed, which a new one may not take.
    TfrmBVWizard(QWidget* owner, std::vector<std::string> existingNames);
    ~TfrmBVWizard() override;

    // The name typed on the first step.
    std::string ProfileName() const;
    // Writes the name, sources, destinations, options and schedule chosen into Profile.
    void WriteAnswers(TBackupProfile& profile) const;
    int CurrentStep() const { return m_currentStep; }
    // The address lists chosen for the e-mail destination and for the notification (Active unused).
    const TEmailDestination& DestinationAddresses() const { return m_destination; }
    const TEmailDestination& NotificationAddresses() const { return m_notification; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void ConnectHandlers();
    void ShowStep(int step);
    void HighlightStep(int step);
    bool CheckProfileName();
    bool ProfileNameExists() const;
    bool ValidateDestinations();
    bool CheckPasswordsMatch();
    void cmdNextFinishClick();
    void cmdPreviousClick();
    void FormKeyUp(int key);
    void cmdAddFileClick();
    void cmdAddDirClick();
    void cmdRemoveClick();
    void AddSource(const QString& entry);
    void txtDriveDestExit();
    // Refuses a path with a character no destination may hold (the user is told, the edit keeps the
    // focus) and gives a path its trailing "/"; false when refused.
    bool CheckDrivePath();
    void txtDriveDestChange();
    void cmdDriveDestClick();
    void EmailAddressesClick(QObject* sender);
    void chkEmailNotificationClick();
    void chkCompressionClick();
    void txtVerifyPasswordExit();
    // Puts the schedule's spin boxes, pickers and day list into the gaps of the radio items' texts.
    void PlaceScheduleControls();
    void PaintPicture();

    std::unique_ptr<Ui::TfrmBVWizard> m_ui;
    std::vector<std::string> m_existingNames;
    int m_currentStep = 1;
    // The checks of a step change are running: a focus-leave check they set off stays silent, so that
    // one fault is told once.
    bool m_checkingStep = false;
    TEmailDestination m_destination;
    TEmailDestination m_notification;
};
