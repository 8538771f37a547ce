#pragma once

#include "framework/CFileException.h"
#include "zip/CZipException.h"

namespace ZipTest {

template <class F>
int ErrorOf(F&& f) {
    try {
        f();
    } catch (CZipException* e) {
        const int cause = e->cause;
        e->Delete();
        return cause;
    } catch (CFileException* e) {
        e->Delete();
        return fileError;
    }
    return noError;
}

}  // namespace ZipTest
