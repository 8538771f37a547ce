#include "loader/UpdateUrlRule.h"

namespace UpdateUrlRule {

std::wstring UpdateUrlFor(std::wstring_view server, std::wstring_view defaultUpdateHost) {
    std::wstring url = server.empty()
                           ? L"http://" + std::wstring(defaultUpdateHost) + L"/CvUpdate/Pelko"
                           : std::wstring(server);
    return url + L"Patch";
}

}  // namespace UpdateUrlRule
