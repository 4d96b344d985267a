#include "net/SocketFailure.h"

#include "net/NelqExceptions.h"

#include <asio/error.hpp>

void ThrowConnectionFailure(const std::error_code& error) {
    if (error == asio::error::eof)
        throw ENelqConnectionError("Connection closed gracefully.");
    throw ENelqConnectionError("Socket error: " + error.message());
}
