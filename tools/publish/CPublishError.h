#pragma once

#include <stdexcept>
#include <string>

// Why the publisher stops: one line for the user, printed on standard error.
class CPublishError : public std::runtime_error {
public:
    explicit CPublishError(const std::string& reason) : std::runtime_error(reason) {}
};
