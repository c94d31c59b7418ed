// The zip component's result codes with their texts, and the codes and names of skipped-file reasons and
// warnings that its events report.
#pragma once

#include <span>
#include <string>

namespace ZipResult {
constexpr int Success = 0;
constexpr int EmptyZipFile = 500;
constexpr int SeekInZipFile = 501;
constexpr int EndOfZipFile = 502;
constexpr int OpenZipFile = 503;
constexpr int CreateTempFile = 504;
constexpr int ReadZipFile = 505;
constexpr int WriteTempZipFile = 506;
constexpr int WriteZipFile = 507;
constexpr int MoveTempFile = 508;
constexpr int NothingToDo = 509;
constexpr int OutOfMemory = 511;
constexpr int SfxBinaryNotFound = 513;
constexpr int ReadSfxBinary = 514;
constexpr int Busy = 516;
constexpr int UserAbort = 518;
constexpr int InvalidZipFile = 519;
constexpr int Warnings = 526;
constexpr int FilesSkipped = 527;
// Extraction went through, but at least one selected file could not be extracted (wrong password, bad
// data, a refused name, a write error).
constexpr int FilesNotExtracted = 532;
constexpr int InternalError = 999;
} // namespace ZipResult

// Why a file was left out (xReason of OnSkippingFile).
namespace ZipSkipReason {
constexpr int FilesToExclude = 1;
constexpr int SkipExisting = 2;
constexpr int SkipNotExisting = 3;
constexpr int SkipOlderDate = 4;
constexpr int FileUnChanged = 12;
constexpr int DuplicateFilenames = 13;
constexpr int WriteFile = 102;
constexpr int OpenFile = 103;
constexpr int ReadFile = 104;
constexpr int MoveFile = 105;
constexpr int InvalidPassword = 106;
constexpr int InvalidCRC = 107;
constexpr int InvalidUncompSize = 108;
constexpr int CreateFolder = 112;
constexpr int AccessDenied = 113;
constexpr int CreateFile = 114;
constexpr int Compress = 121;
constexpr int Uncompress = 122;
} // namespace ZipSkipReason

namespace ZipWarningCode {
constexpr int NoFilesMatched = 323;
} // namespace ZipWarningCode

struct TZipReasonRow {
    int Code;
    const char* Name;
    bool IsError; // an error entry in the run log; otherwise a warning entry
};

struct TZipWarningRow {
    int Code;
    const char* Name;
};

// Sets Text to the code's text; a code without a text (0, 526, 527 among them) leaves Text as it was.
void ZipErrorText(int code, std::string& text);
// The code's text, or empty for a code without one.
std::string ZipErrorText(int code);

std::span<const TZipReasonRow> ZipSkipReasons();
std::span<const TZipWarningRow> ZipWarnings();
// The row of a reason or warning code; nullptr for a code without a row.
const TZipReasonRow* FindZipSkipReason(int code);
const TZipWarningRow* FindZipWarning(int code);
