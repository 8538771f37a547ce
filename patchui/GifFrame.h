#pragma once

#include <ole2.h>
#include <olectl.h>

#include <cstdint>
#include <memory>

struct PictureRelease {
    void operator()(IPicture* picture) const { picture->Release(); }
};
// A picture object of the platform's picture loader, released once.
using PicturePtr = std::unique_ptr<IPicture, PictureRelease>;

// One frame of an animated GIF, decoded at load time.
struct GifFrame {
    PicturePtr picture;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t left = 0;
    uint32_t top = 0;
    uint32_t delay =
        0;  // hundredths of a second; GifFrameCut::kNoDelay without a control extension
    uint32_t disposal = 0;
};
