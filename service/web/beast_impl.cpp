// Boost.Asio's and Boost.Beast's own code, compiled once here rather than in every source of
// the server that includes them: each of those then compiles and lints in about half the time.
#include <boost/asio/impl/src.hpp>
#include <boost/beast/src.hpp>
