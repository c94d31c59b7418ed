// The self-extractor: run, it extracts the archive appended to it into the current folder or the folder
// given as its argument, asking on the terminal for the password when entries are encrypted.
#include "engine/zip/zip_archive_file.h"
#include "engine/zip/zip_codes.h"
#include "engine/zip/zip_safe_extract.h"
#include "platform/file_io.h"
#include "platform/home.h"

#include <fcntl.h>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

bool HasEncryptedEntries(zip_t* archive) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) == 0 &&
            (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
            return true;
    }
    return false;
}

std::string ReadLine(int fd) {
    std::string line;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// Asks on the terminal with echo off; without a terminal the password is read from standard input.
std::string AskPassword() {
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0)
        return ReadLine(STDIN_FILENO);
    // Echo goes off before the prompt appears, so that nothing typed after it can be shown or flushed.
    termios saved{};
    const bool isTerminal = ::tcgetattr(tty, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    static constexpr char Prompt[] = "Password: ";
    (void)!::write(tty, Prompt, sizeof Prompt - 1);
    const std::string password = ReadLine(tty);
    if (isTerminal)
        ::tcsetattr(tty, TCSANOW, &saved);
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    return password;
}

std::string ReasonName(int reason) {
    const TZipReasonRow* row = FindZipSkipReason(reason);
    return row ? row->Name : "error " + std::to_string(reason);
}

void PrintUsage(std::ostream& out, const char* program) {
    out << "Usage: " << program << " [--] [folder]\n"
        << "Extracts the attached archive into the folder, or into the current folder when none is given.\n";
}

// The folder argument, or "." without one. An argument that begins with "-" is an option (only --help
// is known), and "--" ends the options, so that a folder named "-x" can be given as "-- -x". False when
// the program must end with Exit.
bool ReadArguments(int argc, char** argv, std::string& folder, int& exit) {
    std::vector<std::string> operands;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (options && argument == "--") {
            options = false;
        } else if (options && !argument.empty() && argument.front() == '-') {
            if (argument == "--help") {
                PrintUsage(std::cout, argv[0]);
                exit = 0;
            } else {
                std::cerr << argv[0] << ": unknown option " << argument << "\n";
                PrintUsage(std::cerr, argv[0]);
                exit = 2;
            }
            return false;
        } else {
            operands.push_back(argument);
        }
    }
    if (operands.size() > 1) {
        PrintUsage(std::cerr, argv[0]);
        exit = 2;
        return false;
    }
    folder = operands.empty() ? "." : operands.front();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string folder;
    if (int exit = 0; !ReadArguments(argc, argv, folder, exit))
        return exit;
    const std::string self = platform::ExecutablePath();
    if (FindZipStart(self) < 0) {
        std::cerr << "No archive is attached to this program.\n";
        return 2;
    }
    zip_error_t error;
    zip_t* archive = OpenZipArchiveReadOnly(self, error);
    if (!archive) {
        std::cerr << "The attached archive cannot be read: " << zip_error_strerror(&error) << "\n";
        zip_error_fini(&error);
        return 2;
    }
    zip_error_fini(&error);
    const std::string password = HasEncryptedEntries(archive) ? AskPassword() : std::string();
    TTargetFolder target;
    if (!target.Open(folder)) {
        std::cerr << "Cannot create the folder " << folder << ": " << platform::ErrorText(target.Error())
                  << "\n";
        zip_discard(archive);
        return 2;
    }

    int extracted = 0, failed = 0;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const zip_uint64_t index = static_cast<zip_uint64_t>(i);
        const char* rawName = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
        const std::string name = rawName ? rawName : "";
        std::vector<std::string> parts;
        bool isFolder = false;
        TEntryExtraction result;
        if (!SplitEntryName(name, EntryMadeOnUnix(archive, index), parts, isFolder))
            result.Reason = ZipSkipReason::AccessDenied;
        else if (isFolder)
            result = CreateEntryFolder(target, parts);
        else
            result = ExtractEntryToFile(archive, index, password.empty() ? nullptr : password.c_str(), target,
                                        parts, {});
        if (result.Reason != 0) {
            ++failed;
            std::cerr << name << ": not extracted (" << ReasonName(result.Reason) << ")\n";
        } else if (!isFolder) {
            ++extracted;
        }
    }
    ::syncfs(target.Fd());
    zip_discard(archive);
    std::cout << extracted << " files extracted to " << target.Path() << "\n";
    if (failed > 0) {
        std::cerr << failed << " entries could not be extracted.\n";
        return 1;
    }
    return 0;
}
