#pragma once

#include <ostream>
#include <string>

namespace frhost {

// What the user sees of failures. Without --log, log lines stay off the console; the error
// records logged meanwhile are kept, and a failure is printed once with the details the
// records add to it (an IL's fault, for instance), each once. With --log, the console shows
// the log lines asked for and failures are printed as they are.
class Console {
  public:
    // Call once, after the --log settings are applied.
    static void Init(bool logsAsked);
    // Prints the failure's text, then the recorded details it does not already say.
    static void Failure(std::ostream& out, const std::string& text);
    // Every line made one line.
    static std::string OneLine(std::string text);
};

}  // namespace frhost
