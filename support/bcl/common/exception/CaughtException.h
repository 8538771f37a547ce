#pragma once

namespace bcl::common::exception {

// For a catch (...) at a boundary that nothing may cross (exported operations, thread
// entries): writes one debug line "<where>, caught <what>\n" naming the exception in
// flight, frees one thrown by pointer, and never throws itself.
void ReportCaughtException(const wchar_t* where) noexcept;

}  // namespace bcl::common::exception
