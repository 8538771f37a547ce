// Fills the seed folder of the fuzz target: gif_fuzz_seeds FOLDER SPINNER
// (the shipped spinner is copied, the hand-made GIFs are written).
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "patchui/GifBuilder.h"

namespace {

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    std::filesystem::create_directories(argv[1]);
    std::filesystem::copy_file(argv[2], std::filesystem::path(argv[1]) / "spinner.gif",
                               std::filesystem::copy_options::overwrite_existing);
    const std::string folder = std::string(argv[1]) + "/";
    Write(folder + "three-frames.gif", SolidFramesGif(6, 5, 3, 5));
    Write(folder + "one-image.gif", GifBuilder(4, 4).Image(0, 0, 4, 4, 1).Trailer().Bytes());
    Write(folder + "extensions.gif", GifBuilder(8, 8)
                                         .Loop()
                                         .Comment("seed")
                                         .Control(10, 2)
                                         .Comment("inside")
                                         .Image(1, 1, 3, 3, 2)
                                         .Control(20, 3)
                                         .PlainText("text")
                                         .Image(0, 0, 8, 8, 1)
                                         .Trailer()
                                         .Bytes());
    Write(folder + "no-image.gif", GifBuilder(2, 2).Control(1, 1).Trailer().Bytes());
    return 0;
}
