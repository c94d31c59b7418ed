// The tables of the zip component's result texts, skipped-file reasons and warnings.
#include "engine/zip/zip_codes.h"

#include <algorithm>
#include <array>

namespace {

struct TResultRow {
    int Code;
    const char* Text;
};

constexpr std::array<TResultRow, 31> ResultTexts{{
    {500, "The zip file is empty"},
    {501, "Cannot seek in the zip file"},
    {502, "Premature end-of-file encountered in the zip file"},
    {503, "The zip file could not be opened or found"},
    {504, "An error occurred when trying to create a temporary file"},
    {505, "An error occurred while reading data from the zip file"},
    {506, "An error occurred while writing to a temporary file"},
    {507, "An error occurred while writing to the zip file"},
    {508, "Cannot move the temporary zip file to the real zip file destination"},
    {509, "No files ended up being processed"},
    {510, "Cannot update and span"},
    {511, "The system ran out of memory"},
    {512, "Split size is too small"},
    {513, "Could not find the self-extractor binary"},
    {514, "An error occurred while reading data from the self-extractor binary"},
    {515, "Cannot update spanned"},
    {516, "Compression object is busy"},
    {517, "Insert disk aborted"},
    {518, "User aborted process"},
    {519, "Invalid zip file"},
    {520, "Uninitialized string"},
    {521, "Uninitialized array"},
    {522, "Invalid array dimensions"},
    {523, "Invalid array type"},
    {524, "Cannot access array"},
    {525, "Unsupported data type"},
    {528, "Disk not empty abort"},
    {529, "Remove operation without use of temp file"},
    {531, "Invalid SFX property"},
    {532, "Some files could not be extracted"},
    {999, "Compression library had an internal error"},
}};

constexpr std::array<TZipReasonRow, 37> Reasons{{
    {1, "FilesToExclude", false},
    {2, "SkipExisting", false},
    {3, "SkipNotExisting", false},
    {4, "SkipOlderDate", false},
    {5, "SkipOlderVersion", false},
    {6, "RequiredAttributes", false},
    {7, "ExcludedAttributes", false},
    {8, "MinDate", false},
    {9, "MaxDate", false},
    {10, "MinSize", false},
    {11, "MaxSize", false},
    {12, "FileUnChanged", false},
    {13, "DuplicateFilenames", true},
    {14, "SkipReplace", false},
    {15, "UpdateWithoutTemp", true},
    {100, "InvalidDiskNumber", true},
    {101, "FolderWithSize", true},
    {102, "WriteFile", true},
    {103, "OpenFile", true},
    {104, "ReadFile", true},
    {105, "MoveFile", true},
    {106, "InvalidPassword", true},
    {107, "InvalidCRC", true},
    {108, "InvalidUncompSize", true},
    {109, "CentralHeaderData", true},
    {110, "LocalHeaderData", true},
    {111, "DescriptorHeaderData", true},
    {112, "CreateFolder", true},
    {113, "AccessDenied", true},
    {114, "CreateFile", true},
    {116, "RenamedToExisting", true},
    {117, "VolumeWithSize", true},
    {118, "CannotSetVolumeLabel", true},
    {119, "CentralHeaderNotFound", true},
    {120, "UnzipDiskFull", true},
    {121, "Compress", true},
    {122, "Uncompress", true},
}};

constexpr std::array<TZipWarningRow, 23> Warnings{{
    {300, "IncompleteWrite"},
    {301, "InvalidSignature"},
    {302, "InvalidCentralOffset"},
    {303, "InvalidLocalOffset"},
    {304, "InvalidDescriptorOffset"},
    {305, "JunkInZip"},
    {306, "SecurityNotSupported"},
    {307, "SecurityGet"},
    {308, "SecuritySet"},
    {309, "SecuritySize"},
    {310, "SecurityVersion"},
    {311, "SecurityUnknownCompression"},
    {312, "SecurityData"},
    {313, "UnicodeSize"},
    {314, "UnicodeData"},
    {315, "ExtraHeaderSize"},
    {316, "TimeStampSize"},
    {317, "TimeStampFlags"},
    {318, "FileTimesSize"},
    {319, "InvalidFileCount"},
    {320, "FileAlreadyOpenWrite"},
    {323, "NoFilesMatched"},
    {324, "HeadersDiffer"},
}};

template <typename Row, std::size_t N> const Row* FindRow(const std::array<Row, N>& rows, int code) {
    const auto it =
        std::find_if(rows.begin(), rows.end(), [code](const Row& row) { return row.Code == code; });
    return it == rows.end() ? nullptr : &*it;
}

} // namespace

void ZipErrorText(int code, std::string& text) {
    if (const TResultRow* row = FindRow(ResultTexts, code))
        text = row->Text;
}

std::string ZipErrorText(int code) {
    std::string text;
    ZipErrorText(code, text);
    return text;
}

std::span<const TZipReasonRow> ZipSkipReasons() {
    return Reasons;
}

std::span<const TZipWarningRow> ZipWarnings() {
    return Warnings;
}

const TZipReasonRow* FindZipSkipReason(int code) {
    return FindRow(Reasons, code);
}

const TZipWarningRow* FindZipWarning(int code) {
    return FindRow(Warnings, code);
}
