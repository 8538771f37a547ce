#include "zip/CBaseLibCompressor.h"

#include <algorithm>
#include <cstdlib>

#include "zip/CZipException.h"
#include "zip/CZipStorage.h"

namespace ZipSupport {

void* CBaseLibCompressor::Allocate(void* opaque, unsigned items, unsigned size) {
    if (size != 0 && items > SIZE_MAX / size) return nullptr;
    void* block = std::malloc(size_t(items) * size);
    if (!block || !opaque) return block;
    try {
        static_cast<std::vector<void*>*>(opaque)->push_back(block);
    } catch (...) {
        std::free(block);
        return nullptr;
    }
    return block;
}

void CBaseLibCompressor::Free(void* opaque, void* address) {
    if (opaque) {
        auto* list = static_cast<std::vector<void*>*>(opaque);
        const auto at = std::find(list->begin(), list->end(), address);
        if (at != list->end()) list->erase(at);
    }
    std::free(address);
}

void CBaseLibCompressor::ReleaseAllocations() {
    for (void* block : allocations) std::free(block);
    allocations.clear();
}

void CBaseLibCompressor::ThrowError(int libraryCode) const {
    const int cause = ConvertLibraryError(libraryCode);
    if (storage && storage->IsOpen()) storage->ThrowError(cause);
    CZipException::Throw(cause);
}

}  // namespace ZipSupport
