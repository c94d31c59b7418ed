// UnzipArchive and AbortZip.
#include "engine/zip/archive_extraction.h"

#include "engine/zip/zip_codes.h"

#include <exception>
#include <memory>

void UnzipArchive(const std::string& zipFilename, const std::string& filesToProcess,
                  const std::string& unzipToFolder, const std::string& password, bool replaceNewer,
                  const TZipGlobalStatusEvent& onGlobalStatus, const TZipFileStatusEvent& onFileStatus,
                  std::string& errorText, const std::string& followLinksOnPath) {
    std::unique_ptr<TZipComponent> zip;
    try {
        zip = std::make_unique<TZipComponent>();
    } catch (const std::exception&) {
        errorText = ZipComponentUnavailableText;
        return;
    }
    zip->SkipIfOlderDate = !replaceNewer;
    zip->SkipIfExisting = false;
    zip->SkipIfNotExisting = false;
    zip->SkipIfOlderVersion = false;
    zip->OnGlobalStatus = onGlobalStatus;
    zip->OnFileStatus = onFileStatus;
    zip->FilesToProcess = filesToProcess;
    zip->ZipFilename = zipFilename;
    zip->PreservePaths = true;
    zip->ProcessSubfolders = true;
    zip->UnzipToFolder = unzipToFolder;
    zip->EncryptionPassword = password;
    zip->FollowLinksOnPath = followLinksOnPath;
    int passwordFailures = 0, otherFailures = 0;
    zip->OnSkippingFile = [&](TZipComponent*, const std::string&, const std::string&, const std::string&,
                              std::int64_t, std::int64_t, int, std::uint32_t, TDateTime, TDateTime, TDateTime,
                              int, bool, int reason) {
        const TZipReasonRow* row = FindZipSkipReason(reason);
        if (reason == ZipSkipReason::InvalidPassword)
            ++passwordFailures;
        else if (row && row->IsError)
            ++otherFailures;
    };
    const int result = zip->ExtractFiles();
    if (result == ZipResult::Success)
        errorText.clear();
    else if (result == ZipResult::FilesNotExtracted && passwordFailures > 0 && otherFailures == 0)
        errorText = WrongPasswordText;
    else
        ZipErrorText(result, errorText);
}

void AbortZip(TZipComponent* sender) {
    if (sender)
        sender->Abort = true;
}
