#pragma once

// Where a test module's IL is reached: a software test port on a thread of this process
// ("inproc") or a frild daemon's ZeroMQ endpoint, with the daemon's CURVE public key when it
// serves with keys. Checking the text needs nothing of ZeroMQ or of the test port, so that
// scenario files can be read without either.

#include <string>

namespace orx::transport {

struct IlEndpoint {
    std::string address = "inproc";  // "inproc", "tcp://HOST:PORT" or "ipc://PATH"
    std::string serverKey;           // the frild's CURVE public key (Z85); empty: no CURVE

    bool IsInProc() const { return address == "inproc"; }
};

// Empty when `address` is "inproc" or an endpoint a frild daemon can be reached on
// (tcp://HOST:PORT or ipc://PATH); otherwise what is wrong with it.
std::string CheckIlAddress(const std::string& address);

// Empty when `text` is a CURVE key in Z85 text (40 characters encoding 32 bytes); otherwise
// what is wrong with it.
std::string CheckCurveKey(const std::string& text);

// Empty when the endpoint as a whole is usable: a checked address and, when there is one, a
// checked key on a ZeroMQ address.
std::string CheckIlEndpoint(const IlEndpoint& endpoint);

}  // namespace orx::transport
