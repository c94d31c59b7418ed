// The compressed drive destination: one archive of everything gathered, with generations kept.
#include "engine/backup_thread.h"

void TBackupThread::CompressBackup(const std::string&) {}
