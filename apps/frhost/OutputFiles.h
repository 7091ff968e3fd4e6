#pragma once

// The files frhost writes (captures, results): checked before any work is done, and written
// whole or not at all.

#include <string>
#include <utility>
#include <vector>

namespace frhost {

// Empty when a file can be written at `path`, else why not ("no such directory", "it is a
// directory"). Only what can be known without writing: permissions show when it is written.
std::string CheckOutputPath(const std::string& path);

// Checks each (option as given, path), such as ("--tx port1=out.pcap", "out.pcap"); empty when
// all can be written and no file is given twice, else the one-line error naming the option.
std::string CheckOutputPaths(const std::vector<std::pair<std::string, std::string>>& outputs);

// Writes `bytes` to a temporary file beside `path` and moves it over `path`: a write that fails
// leaves no partial file and keeps what was there. Raises std::runtime_error naming the path and
// the reason.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace frhost
