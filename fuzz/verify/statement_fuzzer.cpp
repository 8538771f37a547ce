// Reading a release statement, which comes from the network before its signature is checked,
// and the other texts the verification reads: the key list and the serial record.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "verify/ReleaseRules.h"
#include "verify/ReleaseStatement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string why;
    if (const auto parsed = ParseStatement(text, &why)) {
        // Only the one exact form is read: writing what was read gives the same bytes.
        if (StatementText(parsed->statement, parsed->signature) != text) abort();
        if (SignedPart(parsed->statement) != parsed->signedPart) abort();
    } else if (why.empty()) {
        abort();
    }
    if (const auto keys = ReleaseRules::ParseKeyList(text))
        if (keys->empty() || keys->size() > 2) abort();
    if (const auto serial = ReleaseRules::ParseSerialRecord(text))
        if (ReleaseRules::ParseSerialRecord(ReleaseRules::SerialRecord(*serial)) != serial) abort();
    return 0;
}
