// LogWriter MARKER COUNT PADDING: writes COUNT diagnostic lines "LogWriter MARKER i xxx…" with
// PADDING "x", one after the other, as a component in another process would.
#include <cstdlib>
#include <string>

#include "framework/win32/DebugOutput.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 1;
    const int count = std::wcstol(argv[2], nullptr, 10);
    const std::wstring padding(static_cast<size_t>(std::wcstol(argv[3], nullptr, 10)), L'x');
    for (int i = 0; i < count; ++i)
        DebugOutput::DebugFormat(L"LogWriter %s %d %s\n", argv[1], i, padding.c_str());
    return 0;
}
