#pragma once

#include <vector>

#include "zip/CZipCompressor.h"

namespace ZipSupport {

// A compressor over a compression library that allocates through it: every block the library
// takes is listed, so none outlives the compressor.
class CBaseLibCompressor : public CZipCompressor {
public:
    using CZipCompressor::CZipCompressor;
    ~CBaseLibCompressor() override { ReleaseAllocations(); }

    // A library result as an error code of CZipException.
    virtual int ConvertLibraryError(int code) const = 0;
    virtual bool IsCodeOk(int code) const = 0;

protected:
    static void* Allocate(void* opaque, unsigned items, unsigned size);
    static void Free(void* opaque, void* address);
    void ReleaseAllocations();
    // Throws the converted error with the archive path (empty when no archive is open).
    [[noreturn]] void ThrowError(int libraryCode) const;

    bool finished = false;
    std::vector<void*> allocations;
};

}  // namespace ZipSupport
