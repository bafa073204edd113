// Reading a session of 10^6 events, the most a session may hold.
#include <benchmark/benchmark.h>

#include <string>

#include "session.h"

namespace {

// A session of 10^6 events of every kind: a grab dragged about by moves
// (most of what a long session holds), keys and knobs.
std::string millionEvents() {
    Session session;
    for (int i = 0; session.events.size() < maxSessionEvents; ++i) {
        SessionEvent e;
        e.step = i / 3;
        e.targetX = 3.0 + i * 1e-6;
        e.targetY = -4.0 - i * 1.7e-6;
        switch (i % 1000) {
            case 0:
                e.kind = SessionEventKind::grab;
                e.code = 3;  // the right hand
                e.heldX = 1.0 / 3.0;
                e.heldY = -0.1;
                break;
            case 998:
                e.kind = SessionEventKind::release;
                break;
            case 999:
                e.kind = SessionEventKind::knob;
                e.code = 0;  // gravity
                e.targetX = 9.80665 + (i % 7);
                break;
            default:
                e.kind = i % 250 == 0 ? SessionEventKind::key : SessionEventKind::move;
                e.code = 100 + i % 4;
                break;
        }
        session.events.push_back(e);
    }
    session.endStep = session.events.back().step;
    return writeSession(session);
}

void readSessionBench(benchmark::State& bench) {
    const std::string text = millionEvents();
    Session session;
    std::string error;
    for (auto _ : bench) {
        if (!readSession(session, error, text.data(), text.size())) bench.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(session.events.data());
    }
    bench.counters["events"] = static_cast<double>(session.events.size());
    bench.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(readSessionBench)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
