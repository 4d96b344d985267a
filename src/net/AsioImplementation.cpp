// Asio's own implementation, compiled once here rather than in every source
// file that includes Asio (they build with ASIO_SEPARATE_COMPILATION).
#include <asio/impl/src.hpp>
