#pragma once

#include <functional>
#include <string>

namespace ZipFuzz {

// Runs use while every call of this process that creates, changes or removes something in the
// file system is checked first: the object it names, with every folder above it resolved, must
// lie strictly inside folder (the folder itself is not to be changed either). Any other call
// aborts the process before it is made, wherever the object lies, at any depth.
void WatchWrites(const std::string& folder, const std::function<void()>& use);

}  // namespace ZipFuzz
