#include "RunDisplay.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "OutputFiles.h"

namespace frhost {

namespace {

// Column of a result property by name; -1 when the table has none.
int Column(const ResultTable& table, const std::string& name) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i] == name)
            return static_cast<int>(i);
    }
    return -1;
}

uint64_t Number(const std::string& text) {
    return std::strtoull(text.c_str(), nullptr, 10);
}

uint64_t Sum(const ResultTable& table, const std::string& name) {
    int c = Column(table, name);
    uint64_t sum = 0;
    if (c < 0)
        return 0;
    for (const ResultRow& r : table.rows)
        sum += Number(r.values[static_cast<size_t>(c)]);
    return sum;
}

std::string Bar(uint64_t done, uint64_t total, size_t width) {
    std::string bar(width, '-');
    if (total == 0)
        return bar;
    const auto filled = static_cast<size_t>(static_cast<double>(done) * width / total);
    for (size_t i = 0; i < filled && i < width; ++i)
        bar[i] = '#';
    return bar;
}

size_t TerminalRows() {
    winsize ws{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0)
        return ws.ws_row;
    return 24;
}

}  // namespace

void PrintLinks(const std::vector<LinkRow>& links, std::ostream& out) {
    std::vector<std::vector<std::string>> rows;
    for (const LinkRow& r : links) {
        const auto& l = r.link;
        rows.push_back({r.port, l.interface, std::to_string(l.received),
                        std::to_string(l.captureDropped), std::to_string(l.interfaceDropped),
                        std::to_string(l.transmitted), std::to_string(l.transmitFailed)});
    }
    PrintTable({"port", "interface", "received", "capture-dropped", "interface-dropped",
                "transmitted", "transmit-failed"},
               rows, out);
}

std::vector<std::string> LinkLosses(const std::vector<LinkRow>& links) {
    std::vector<std::string> lines;
    for (const LinkRow& r : links) {
        const auto& l = r.link;
        const std::string where = "port " + r.port + " (" + l.interface + ")";
        if (l.captureDropped || l.interfaceDropped || l.transmitFailed) {
            lines.push_back(where + " lost frames: " + std::to_string(l.captureDropped) +
                            " dropped by the capture buffer, " +
                            std::to_string(l.interfaceDropped) + " by the interface, " +
                            std::to_string(l.transmitFailed) + " responses not transmitted");
        }
        if (!l.error.empty())
            lines.push_back(where + " ended: " + l.error);
    }
    return lines;
}

void RunDisplay::Show(double timeS, ResultTable table,
                      const std::vector<ReplayJob::Progress>& replays,
                      const std::vector<LinkRow>& links, const std::string& state) {
    m_samples.push_back(ResultSample{timeS, std::move(table)});
    const ResultTable& t = m_samples.back().table;
    if (m_mode == Mode::Quiet)
        return;
    std::ostringstream out;
    char head[64];
    std::snprintf(head, sizeof head, "%.1f s", timeS);
    if (m_mode == Mode::Lines) {
        out << head << "  configurations " << t.rows.size() << "  matched "
            << Sum(t, "MatchedRxFrameCount") << "  transmitted " << Sum(t, "TxFrameCount");
        for (const auto& r : replays) {
            out << "  replay " << r.port << ' ' << r.frames;
            if (r.total)
                out << '/' << r.total;
        }
        for (const LinkRow& r : links) {
            out << "  " << r.port << ' ' << r.link.interface << " received " << r.link.received
                << " dropped " << r.link.captureDropped + r.link.interfaceDropped << " tx-failed "
                << r.link.transmitFailed;
            if (!r.link.error.empty())
                out << " ended";
        }
        if (!state.empty())
            out << "  " << state;
        std::cout << out.str() << std::endl;
        return;
    }
    // Terminal: redraw in place, as many configuration rows as the screen holds.
    out << head << (state.empty() ? "" : "  " + state) << '\n';
    ResultTable shown = t;
    const size_t reserved = replays.size() + (links.empty() ? 0 : links.size() + 1) + 6;
    const size_t room = TerminalRows() > reserved ? TerminalRows() - reserved : 1;
    size_t hidden = 0;
    if (shown.rows.size() > room) {
        hidden = shown.rows.size() - room;
        shown.rows.resize(room);
    }
    PrintResults(shown, out);
    if (hidden)
        out << "... and " << hidden << " more configuration(s)\n";
    for (const auto& r : replays) {
        out << "replay " << r.port << " [" << Bar(r.frames, r.total, 30) << "] " << r.frames;
        if (r.total)
            out << '/' << r.total;
        out << " frames\n";
    }
    if (!links.empty())
        PrintLinks(links, out);
    const std::string text = out.str();
    if (m_drawnLines)
        std::cout << "\x1b[" << m_drawnLines << "A\x1b[J";
    std::cout << text << std::flush;
    m_drawnLines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

void RunDisplay::Finish() {
    // The final table is printed after the run; the live one makes way for it.
    if (m_mode == Mode::Terminal && m_drawnLines)
        std::cout << "\x1b[" << m_drawnLines << "A\x1b[J" << std::flush;
    m_drawnLines = 0;
}

namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

void WriteRunResults(const std::string& path, const ResultTable& final,
                     const std::vector<ResultSample>& samples, const std::vector<LinkRow>& links) {
    std::ostringstream out;
    if (EndsWith(path, ".csv")) {
        out << "name,port,handle";
        for (const std::string& c : final.columns)
            out << ',' << CsvField(c);
        out << '\n';
        for (const ResultRow& r : final.rows) {
            out << CsvField(r.name) << ',' << CsvField(r.port) << ',' << r.handle;
            for (const std::string& v : r.values)
                out << ',' << CsvField(v);
            out << '\n';
        }
    } else {
        nlohmann::ordered_json doc;
        doc["results"] = nlohmann::ordered_json::array();
        for (const ResultRow& r : final.rows)
            doc["results"].push_back(ResultRowJson(final, r, true));
        doc["series"] = nlohmann::ordered_json::array();
        for (const ResultSample& s : samples) {
            nlohmann::ordered_json sample;
            sample["time_s"] = s.timeS;
            sample["rows"] = nlohmann::ordered_json::array();
            for (const ResultRow& r : s.table.rows)
                sample["rows"].push_back(ResultRowJson(s.table, r, false));
            doc["series"].push_back(std::move(sample));
        }
        if (!links.empty()) {
            doc["links"] = nlohmann::ordered_json::array();
            for (const LinkRow& r : links) {
                const auto& l = r.link;
                doc["links"].push_back({{"port", r.port},
                                        {"interface", l.interface},
                                        {"received", l.received},
                                        {"captureDropped", l.captureDropped},
                                        {"interfaceDropped", l.interfaceDropped},
                                        {"transmitted", l.transmitted},
                                        {"transmitFailed", l.transmitFailed},
                                        {"error", l.error}});
            }
        }
        out << doc.dump(2) << '\n';
    }
    WriteFileAtomically(path, out.str());
}

}  // namespace frhost
