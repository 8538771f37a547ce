#include "zip/CZipTargetFile.h"

#include <cerrno>

#include "framework/CFileException.h"
#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "framework/SystemError.h"

CZipTargetFile::CZipTargetFile(std::wstring targetPath) : target(std::move(targetPath)) {
    temporaryPath = FileSystem::CreateTempFileIn(PathText::FolderPart(target));
    if (temporaryPath.empty()) {
        const uint32_t error = SystemError::Last();
        CFileException::ThrowOsError(error != 0 ? error : static_cast<uint32_t>(errno), target);
    }
    try {
        // The file was just made empty; truncating it again would only make some file systems
        // flush it at close.
        file.Open(
            temporaryPath,
            CFile::modeCreate | CFile::modeNoTruncate | CFile::shareDenyWrite | CFile::modeWrite,
            true);
    } catch (...) {
        FileSystem::RemoveFile(temporaryPath);
        throw;
    }
}

CZipTargetFile::~CZipTargetFile() {
    file.Close();
    if (!committed) FileSystem::RemoveFile(temporaryPath);
}

bool CZipTargetFile::Commit() {
    file.Close();
    committed = FileSystem::MoveOver(temporaryPath, target);
    return committed;
}
