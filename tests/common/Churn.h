#pragma once

// Random changes of the kind a long-lived host's user makes between applies: configurations
// made, deleted, moved and (de)activated, probes moved, ports going off and on line.

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include <orx/core/HostClasses.h>

namespace testsupport {

class Churn {
  public:
    using CScriptable = orx::framework::CScriptable;
    using CPort = orx::core::CPort;

    explicit Churn(uint32_t seed) : m_random(seed) {}

    // A number below n (n > 0).
    size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }

    // Makes one change. `create` makes a configuration under the probe it is given; `extra`,
    // when set, is one more kind of change the caller makes itself. Until there are three
    // configurations, only configurations are made.
    void Step(const std::vector<CScriptable*>& configs, const std::vector<CPort*>& ports,
              const std::vector<CScriptable*>& probes,
              const std::function<void(CScriptable* probe)>& create,
              const std::function<void()>& extra = {}) {
        const size_t kinds = configs.size() < 3 ? 2 : (extra ? 8 : 7);
        switch (Pick(kinds)) {
            case 0:
            case 1:
                create(probes[Pick(probes.size())]);
                break;
            case 2:
                configs[Pick(configs.size())]->MarkDelete();
                break;
            case 3: {
                CPort* port = ports[Pick(ports.size())];
                port->Set(orx::core::PROP_PORT_ONLINE, !port->GetOnline());
                break;
            }
            case 4:
                configs[Pick(configs.size())]->SetParent(probes[Pick(probes.size())]);
                break;
            case 5:
                probes[Pick(probes.size())]->SetParent(ports[Pick(ports.size())]);
                break;
            case 6: {
                CScriptable* c = configs[Pick(configs.size())];
                c->SetActive(!c->GetActive());
                break;
            }
            default:
                extra();
                break;
        }
    }

  private:
    std::mt19937 m_random;
};

}  // namespace testsupport
