// Walking a GIF, counting its images and cutting every frame into a stand-alone GIF.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "patchui/GifStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GifStream gif({data, size});
    if (!gif.HasScreen()) return 0;
    const size_t images = gif.CountImages();
    gif.Rewind();
    size_t cuts = 0;
    while (const auto cut = gif.CutNextFrame()) {
        if (cut->start < gif.PrefixBytes() || cut->end > size || cut->start >= cut->end) abort();
        std::vector<uint8_t> alone(gif.StandaloneSize(*cut));
        gif.CopyStandalone(*cut, alone.data());
        // A cut holds exactly its one image.
        if (GifStream(alone).CountImages() != 1) abort();
        ++cuts;
    }
    if (cuts != images) abort();
    return 0;
}
