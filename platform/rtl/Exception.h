// Exception: the runtime's base exception, carrying a message for the person
// in front of the program. Components never throw; only the runtime's own
// services (file streams) do, as the class library they stand in for did.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& Message) : std::runtime_error(Message) {}
    std::string Message() const { return what(); }
};

// An open or create of a file stream failed; the message names the file and
// the system's reason.
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// A read or write of an open stream failed.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
