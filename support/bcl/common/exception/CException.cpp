#include "support/bcl/common/exception/CException.h"

namespace bcl::common::exception {

std::wstring CException::GetText() const { return L"Exception - " + location + L" " + description; }

}  // namespace bcl::common::exception
