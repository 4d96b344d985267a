#pragma once

#include <stdexcept>

// Errors of assembling a received section; the message says which file and why.
class EAssemblyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
