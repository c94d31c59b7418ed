// The run logs of the logs folder: listing, deleting, and reading back a log's text and summary.
#pragma once

#include "engine/backup_log.h"

#include <string>
#include <vector>

class TBackupLogList {
public:
    // Lists Dir/*.log. Raises "Invalid log directory." when the folder is missing and cannot be created.
    explicit TBackupLogList(const std::string& dir);

    // Raises "Backup log file does not exist." when there is no such file.
    void Add(const std::string& fileName);
    // Deletes the file (a failure, or a log still being written, is passed over) and empties the entry.
    void Delete(int index);
    // Removes the emptied entries, keeping the order of the others.
    void Pack();
    void DeleteAll();
    int Count() const { return static_cast<int>(m_files.size()); }
    // The log's text without its trailer; raises when the file cannot be opened.
    void ReadText(int index, std::string& text);
    // The totals of the log's trailer; problems are reported in Summary.Name, never raised.
    void ReadSummary(int index, TBackupSummary& summary);

    const std::string& Dir() const { return m_dir; }
    const std::vector<std::string>& Files() const { return m_files; }

private:
    std::string m_dir;
    std::vector<std::string> m_files;
};
