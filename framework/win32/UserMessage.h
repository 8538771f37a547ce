#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Every message box the component shows goes through ShowMessageBox, so that tests can
// watch what the user would see.
namespace UserMessage {

using Observer = std::function<int(HWND owner, const std::wstring& text,
                                   const std::wstring& caption, UINT type)>;

// Shows the box (MessageBoxW) and returns its result; with an observer installed, the
// observer is called instead and its result returned.
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// Installs an observer for this module; an empty one restores the real box.
void SetObserver(Observer observer);

}  // namespace UserMessage
