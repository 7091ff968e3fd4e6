#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Replay.h"
#include "ResultCommands.h"

namespace frhost {

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

    // Records a sample and shows it with the replays' progress.
    void Show(double timeS, ResultTable table, const std::vector<ReplayJob::Progress>& replays,
              const std::string& state);
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

// Writes the final rows (and, for JSON, every sample as a series) to a .json or .csv file.
// Raises std::runtime_error naming the file when it cannot.
void WriteRunResults(const std::string& path, const ResultTable& final,
                     const std::vector<ResultSample>& samples);

}  // namespace frhost
