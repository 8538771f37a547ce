#pragma once

#include <string>

namespace bcl::common::exception {

// Thrown by value: where an operation failed and what went wrong.
class CException {
public:
    CException(std::wstring location, std::wstring description)
        : location(std::move(location)), description(std::move(description)) {}
    CException(const CException&) = default;
    CException& operator=(const CException&) = default;
    virtual ~CException() = default;

    virtual std::wstring GetLocation() const { return location; }
    virtual std::wstring GetDescription() const { return description; }
    // "Exception - <location> <description>"
    virtual std::wstring GetText() const;

private:
    std::wstring location;
    std::wstring description;
};

}  // namespace bcl::common::exception
