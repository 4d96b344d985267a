#pragma once

#include <stdexcept>
#include <string>

// The client's own protocol errors. A connection thread catches every one of
// them at its reconnection loop, shows the message and tries again.
class ENelqException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The connection broke: closed by the peer, a socket error, an over-long line.
class ENelqConnectionError : public ENelqException {
public:
    using ENelqException::ENelqException;
};

// The server asked the filmer to resume a part beyond its end.
class ENelqResumeOutsideRange : public ENelqConnectionError {
public:
    ENelqResumeOutsideRange() : ENelqConnectionError("Tried to resume outside valid data range") {}
};

// A section header announced more streams than a section can hold.
class ENelqMaxStreamsException : public ENelqException {
public:
    ENelqMaxStreamsException() : ENelqException("Connection wanting to send to many streams.") {}
};

// Data or an end marker for a stream that the section does not have.
class ENelqInvalidStreamException : public ENelqException {
public:
    ENelqInvalidStreamException()
        : ENelqException("Connection tried to write to invalid stream index.") {}
};

// A peer sent something the protocol does not allow (a bad count, an unknown
// command, a field out of range). The connection is ended.
class ENelqProtocolError : public ENelqException {
public:
    using ENelqException::ENelqException;
};
