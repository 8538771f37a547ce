#pragma once

#include <optional>
#include <string>

// The validators of the kept manifest package and the URL whose answer carried them. They are
// sent to that URL only: another server or tree may give other bytes the same ones (servers
// derive them from a file's time and size).
struct KeptValidators {
    std::wstring etag;
    std::wstring lastModified;
    std::wstring url;

    // Whether a request for url may carry these.
    bool BelongTo(const std::wstring& requested) const { return !url.empty() && url == requested; }

    // The validators file: ETag, Last-Modified and URL, one line each. Nothing when there is
    // nothing to keep or a value holds other characters than printable ASCII (which would not
    // be sent back as it came).
    std::optional<std::string> Text() const;
    // Nothing unless the text is three such lines (a file without its URL belongs to none).
    static std::optional<KeptValidators> FromText(const std::string& text);

    bool operator==(const KeptValidators&) const = default;
};
