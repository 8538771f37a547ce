#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/FolderTrustRule.h"

// The texts the start operations show the user.
namespace LoaderTexts {

inline constexpr wchar_t kErrorCaption[] = L"ERROR";
inline constexpr wchar_t kStartErrorCaption[] = L"Error";
inline constexpr wchar_t kServerMismatch[] = L"서버 정보가 일치하지 않습니다.";
// A value for the settings file that would not stay one value on one line.
inline constexpr wchar_t kInvalidLaunchValues[] = L"실행 정보가 올바르지 않습니다.";
// Stands in for the system's text when it has none for an error code.
inline constexpr wchar_t kUnknownSystemError[] = L"알 수 없는 오류";

// The room of the composed start failure text, terminator included.
constexpr std::size_t kStartFailureRoom = 260;

// "잘못된 서버에 접근하고 있습니다.\r\n[server]".
std::wstring WrongServerText(std::wstring_view server);

// "프로그램을 실행하는데 실패하였습니다.(에러코드 : 0x%08x): %s", cut to fit its room without
// splitting a surrogate pair; an empty system text is replaced by kUnknownSystemError.
std::wstring StartFailureText(std::uint32_t errorCode, std::wstring_view systemText);

// The system's text for an error code without the line end it usually ends with.
std::wstring OneLine(std::wstring_view systemText);

// "설정 파일을 저장하지 못해 프로그램을 실행할 수 없습니다.(에러코드 : 0x%08x)", then the
// settings file's path and the system's text on lines of their own; an empty system text is
// replaced by kUnknownSystemError.
std::wstring SettingsFailureText(std::wstring_view path, std::uint32_t errorCode,
                                 std::wstring_view systemText);

// What the user is told when the install folder, or a folder along its path, is not one only
// this user and the machine's administrators control: the folder, its owner, why, and what to
// do, on lines of their own. principal names who may change it (OthersMayChange).
std::wstring UntrustedFolderText(std::wstring_view folder, std::wstring_view owner,
                                 FolderTrustRule::Finding finding, std::wstring_view principal);
// Why the machine's install folder cannot serve this user, for the box shown when the user's own
// folder cannot either: "공용 설치 폴더 folder도 사용할 수 없습니다: " and the reason (for Untrusted,
// the finding as UntrustedFolderText gives it).
enum class SharedFolderState { CannotBeMade, Unreadable, Untrusted, NotWritable };
std::wstring SharedFolderText(std::wstring_view folder, SharedFolderState state,
                              FolderTrustRule::Finding finding, std::wstring_view principal);

// The box for a program file another user may change: the file, its owner, why, and the
// commands that repair its folder (the inherited permissions back, Administrators the owner).
std::wstring UntrustedProgramText(std::wstring_view file, std::wstring_view owner,
                                  FolderTrustRule::Finding finding, std::wstring_view principal);
// The same when the folder's security cannot be read at all.
std::wstring UnreadableFolderText(std::wstring_view folder, std::uint32_t errorCode,
                                  std::wstring_view systemText);
// "설치 폴더를 만들지 못해 프로그램을 실행할 수 없습니다.(에러코드 : 0x%08x)", the folder and the
// system's text on lines of their own.
std::wstring FolderCreationFailureText(std::wstring_view folder, std::uint32_t errorCode,
                                       std::wstring_view systemText);

}  // namespace LoaderTexts
