#pragma once

#include <string>
#include <string_view>

// Where a launch's update run fetches from.
namespace UpdateUrlRule {

// The server text followed by "Patch", with no separator ("…/CvUpdate/Pelko" gives
// "…/CvUpdate/PelkoPatch"); an empty server text stands for "http://" defaultUpdateHost
// "/CvUpdate/Pelko".
std::wstring UpdateUrlFor(std::wstring_view server, std::wstring_view defaultUpdateHost);

}  // namespace UpdateUrlRule
