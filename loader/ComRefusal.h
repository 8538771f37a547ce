#pragma once

// The boxes with which the COM face refuses to register, to hand out class objects and to make
// its class.
namespace ComRefusal {

inline constexpr wchar_t kRegisterRefused[] = L"Fail to Add Registry COM :: Code-04";
inline constexpr wchar_t kClassObjectRefused[] = L"Fail to Add Registry COM :: Code-05";
inline constexpr wchar_t kConstructionRefused[] = L"Do not Call COM Library";

// Box with no owner, caption "ERROR", OK only, no icon.
void Show(const wchar_t* text) noexcept;

// Shows the box, then ends the process with -1 through the run time's exit, so that exit
// handlers run.
[[noreturn]] void ShowAndExit(const wchar_t* text) noexcept;

}  // namespace ComRefusal
