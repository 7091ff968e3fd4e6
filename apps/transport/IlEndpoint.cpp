#include <orx/transport/IlEndpoint.h>

#include <charconv>
#include <cstdint>
#include <string_view>

namespace orx::transport {

namespace {

constexpr std::string_view kZ85Digits =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ.-:+=^!/*?&<>()[]{}@%$#";

}  // namespace

std::string CheckIlAddress(const std::string& address) {
    if (address == "inproc")
        return "";
    if (address.rfind("ipc://", 0) == 0)
        return address.size() > 6 ? "" : "an ipc endpoint needs a path";
    if (address.rfind("tcp://", 0) != 0)
        return "expected \"inproc\" or a ZeroMQ endpoint (tcp://HOST:PORT or ipc://PATH)";
    std::string rest = address.substr(6);
    size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return "a tcp endpoint is tcp://HOST:PORT";
    std::string host = rest.substr(0, colon);
    std::string port = rest.substr(colon + 1);
    if (host == "*" || host.find_first_of("/ \t") != std::string::npos)
        return "\"" + host + "\" is not a host to connect to";
    unsigned value = 0;
    auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value == 0 ||
        value > 65535) {
        return "\"" + port + "\" is not a port number (1 to 65535)";
    }
    return "";
}

std::string CheckCurveKey(const std::string& text) {
    if (text.size() != 40) {
        return "a CURVE key is 40 characters of Z85 text, got " + std::to_string(text.size()) +
               " characters";
    }
    for (size_t group = 0; group < text.size(); group += 5) {
        uint64_t value = 0;
        for (size_t i = group; i < group + 5; ++i) {
            size_t digit = kZ85Digits.find(text[i]);
            if (digit == std::string_view::npos) {
                // Appended, not "literal" + string: GCC 12 warns falsely (-Wrestrict) at -O3.
                std::string shown;
                if (text[i] >= 0x21 && text[i] < 0x7F)
                    shown.append("'").append(1, text[i]).append("'");
                else
                    shown.append("byte ").append(std::to_string(uint8_t(text[i])));
                return "a CURVE key is Z85 text: " + shown + " at position " +
                       std::to_string(i + 1) + " is not a Z85 character";
            }
            value = value * 85 + digit;
        }
        if (value > UINT32_MAX) {
            return "a CURVE key is Z85 text: characters " + std::to_string(group + 1) + " to " +
                   std::to_string(group + 5) + " do not encode 4 bytes";
        }
    }
    return "";
}

std::string CheckIlEndpoint(const IlEndpoint& endpoint) {
    if (std::string why = CheckIlAddress(endpoint.address); !why.empty())
        return why;
    if (endpoint.serverKey.empty())
        return "";
    if (endpoint.IsInProc())
        return "a serverKey needs a tcp:// or ipc:// endpoint";
    return CheckCurveKey(endpoint.serverKey);
}

}  // namespace orx::transport
