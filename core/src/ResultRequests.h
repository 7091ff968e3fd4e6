#pragma once

// Requests of the result machinery to the ILs of ports, and its log.

#include <cstdint>
#include <string>

class Message;

namespace orx::core::results {

// "port NAME" for a port key (the port's handle).
std::string PortText(uint32_t portKey);

// Sends `request` to the IL of the port and waits for the answer (moved into `response` when
// given). False with a text naming the port and what went wrong when the port has no IL, the
// request cannot be sent, or the IL faults or answers with a failed response.
bool Ask(uint32_t portKey, Message& request, Message* response, std::string& error);

void LogError(const std::string& text, const char* file, int line);
void LogInfo(const std::string& text, const char* file, int line);
void LogDebug(const std::string& text, const char* file, int line);
bool DebugEnabled();

}  // namespace orx::core::results
