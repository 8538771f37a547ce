#pragma once

#include "download/DownloadComponentInfo.h"

// One download request in fixed fields, as BuildDownloadedFileList lists them. Longer texts
// are cut to 259 characters; every field stays terminated.
struct DownloadedFileRecord {
    static constexpr size_t kFieldChars = 260;

    wchar_t url[kFieldChars] = {};
    wchar_t localFolder[kFieldChars] = {};
    wchar_t localFileName[kFieldChars] = {};
    wchar_t displayName[kFieldChars] = {};
};

DownloadedFileRecord MakeDownloadedFileRecord(const DownloadComponentInfo& request);
