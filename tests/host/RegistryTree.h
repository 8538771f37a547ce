#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Everything below one registry key as sorted lines "key|name|type|data": equal trees give
// equal lines; an absent key gives none.
std::vector<std::wstring> RegistryTree(HKEY root, const std::wstring& path);
