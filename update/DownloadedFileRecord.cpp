#include "update/DownloadedFileRecord.h"

#include <algorithm>

namespace {

void CopyField(const std::wstring& text, wchar_t (&field)[DownloadedFileRecord::kFieldChars]) {
    const size_t length = std::min(text.size(), DownloadedFileRecord::kFieldChars - 1);
    std::copy_n(text.data(), length, field);
    field[length] = L'\0';
}

}  // namespace

DownloadedFileRecord MakeDownloadedFileRecord(const DownloadComponentInfo& request) {
    DownloadedFileRecord record;
    CopyField(request.strURL, record.url);
    CopyField(request.strLocalFolder, record.localFolder);
    CopyField(request.strLocalFileName, record.localFileName);
    CopyField(request.strDisplayName, record.displayName);
    return record;
}
