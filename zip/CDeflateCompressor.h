#pragma once

#include <zlib.h>

#include "zip/CBaseLibCompressor.h"

namespace ZipSupport {

// Reads stored (method 0) and deflated (method 8) entries; deflated data goes through zlib's
// raw inflate, and the CRC-32 of everything produced is kept.
class CDeflateCompressor : public CBaseLibCompressor {
public:
    struct COptions {
        int bufferSize = 0x20000;
        bool detectLeaks = true;
        bool checkLastBlock = true;
    };

    explicit CDeflateCompressor(CZipStorage* storage);
    ~CDeflateCompressor() override;

    bool CanHandle(uint16_t method) const override {
        return method == methodStore || method == methodDeflate;
    }
    void InitReading(CZipFileHeader* record) override;
    unsigned ReadData(void* buffer, unsigned size) override;
    void FinishReading(bool afterError) override;

    const COptions& GetOptions() const { return options; }
    void UpdateOptions(const COptions& newOptions) { options = newOptions; }

    int ConvertLibraryError(int code) const override;
    bool IsCodeOk(int code) const override { return code == Z_OK || code == Z_NEED_DICT; }

private:
    // Makes sure input is waiting; false when the entry's compressed data is used up.
    bool FillInput();
    unsigned Inflate(uint8_t* out, unsigned room, bool& ended);
    unsigned Copy(uint8_t* out, unsigned room);
    void EndStream();

    COptions options;
    z_stream stream{};
    bool streamReady = false;
    // zlib reads one byte past a stream's end in some states; it is offered once.
    bool dummyOffered = false;
};

}  // namespace ZipSupport
