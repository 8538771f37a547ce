#include "update/UpdateOutcome.h"

namespace UpdateOutcomeText {

std::wstring ResultName(UpdateResult result) {
    switch (result) {
        case UpdateResult::Current:
            return L"current";
        case UpdateResult::Updated:
            return L"updated";
        case UpdateResult::Postponed:
            return L"postponed";
        case UpdateResult::NotOffered:
            return L"not-offered";
        case UpdateResult::Refused:
            return L"refused";
        case UpdateResult::Failed:
            break;
    }
    return L"failed";
}

std::wstring SerialText(const std::optional<uint64_t>& serial) {
    return serial ? std::to_wstring(*serial) : std::wstring();
}

}  // namespace UpdateOutcomeText
