#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <orx/il/Diag.h>
#include "Replay.h"
#include "ResultCommands.h"

namespace frhost {

// A port answered on a live interface, by the scenario's name of the port.
struct LinkRow {
    std::string port;
    orx::il::LinkView link;
};

// The live ports' counters as a table: port, interface, received, capture and interface drops,
// transmitted, transmit failures.
void PrintLinks(const std::vector<LinkRow>& links, std::ostream& out);
// What a run must say about its live ports at its end, one line each: the frames a port lost
// (dropped on capture or not transmitted) and a port that ended with an error; empty when
// nothing was lost.
std::vector<std::string> LinkLosses(const std::vector<LinkRow>& links);

// The counters of every configuration at one moment of a run.
struct ResultSample {
    double timeS = 0;
    ResultTable table;
};

// What a run shows while it goes: on a terminal a table of every configuration redrawn in
// place with a progress bar per replay; otherwise one plain line per interval; nothing when
// quiet. Keeps every sample for the results file.
class RunDisplay {
  public:
    enum class Mode { Terminal, Lines, Quiet };
    explicit RunDisplay(Mode mode) : m_mode(mode) {}

    // Records a sample and shows it with the replays' progress and the live ports' counters.
    void Show(double timeS, ResultTable table, const std::vector<ReplayJob::Progress>& replays,
              const std::vector<LinkRow>& links, const std::string& state);
    // Records a sample without showing it (the final counters).
    void Record(double timeS, ResultTable table) {
        m_samples.push_back(ResultSample{timeS, std::move(table)});
    }
    // Ends the live display (the last table stays on the screen).
    void Finish();
    const std::vector<ResultSample>& Samples() const { return m_samples; }

  private:
    Mode m_mode;
    size_t m_drawnLines = 0;
    std::vector<ResultSample> m_samples;
};

// Writes the final rows (and, for JSON, every sample as a series and the live ports' final
// counters as "links") to a .json or .csv file. Raises std::runtime_error naming the file when
// it cannot.
void WriteRunResults(const std::string& path, const ResultTable& final,
                     const std::vector<ResultSample>& samples,
                     const std::vector<LinkRow>& links = {});

}  // namespace frhost
