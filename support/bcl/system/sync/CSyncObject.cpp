#include "support/bcl/system/sync/CSyncObject.h"

namespace bcl::system::sync {

CSyncObject::~CSyncObject() { Close(); }

void CSyncObject::Close() {
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
}

}  // namespace bcl::system::sync
