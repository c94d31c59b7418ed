// Extraction of an archive into a folder for a restore, with its outcome as a text, and its cancellation
// from inside the extraction's progress events.
#pragma once

#include "engine/zip/zip_component.h"

#include <string>

// The outcome when no zip component can be had.
inline constexpr const char* ZipComponentUnavailableText =
    "Unable to initialize compression component. Please contact Mirn Software support for more information.";

// The outcome when the password opens none of the chosen entries (a missing password too).
inline constexpr const char* WrongPasswordText = "The password is not correct.";

// Extracts the entries FilesToProcess chooses (a stored name, or a stored path followed by "*" for a folder
// with its subfolders) from ZipFilename into UnzipToFolder, keeping the stored paths. Files in the target
// that are as old as the archive's copies or newer are kept unless ReplaceNewer. The two handlers receive the
// component's progress events on the calling thread. ErrorText: empty on success, otherwise the text of the
// component's result, or WrongPasswordText when only the password kept files out; a result without a text
// leaves it as the caller passed it. FollowLinksOnPath: the stored path that leads from UnzipToFolder to the
// folder the user chose (see TZipComponent::FollowLinksOnPath).
void UnzipArchive(const std::string& zipFilename, const std::string& filesToProcess,
                  const std::string& unzipToFolder, const std::string& password, bool replaceNewer,
                  const TZipGlobalStatusEvent& onGlobalStatus, const TZipFileStatusEvent& onFileStatus,
                  std::string& errorText, const std::string& followLinksOnPath = {});

// Cancels the extraction that Sender runs; a null Sender is ignored.
void AbortZip(TZipComponent* sender);
