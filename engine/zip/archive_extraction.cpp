// UnzipArchive and AbortZip.
#include "engine/zip/archive_extraction.h"

#include "engine/zip/zip_codes.h"

#include <exception>
#include <memory>

void UnzipArchive(const std::string& zipFilename, const std::string& filesToProcess,
                  const std::string& unzipToFolder, const std::string& password, bool replaceNewer,
                  const TZipGlobalStatusEvent& onGlobalStatus, const TZipFileStatusEvent& onFileStatus,
                  std::string& errorText) {
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
    const int result = zip->ExtractFiles();
    if (result == ZipResult::Success)
        errorText.clear();
    else
        ZipErrorText(result, errorText);
}

void AbortZip(TZipComponent* sender) {
    if (sender)
        sender->Abort = true;
}
