// The e-mail destination and the run notification.
#include "engine/backup_thread.h"

void TBackupThread::EmailBackup() {}

void TBackupThread::SendNotification(const std::string&) {}
