#include "page_session.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>

#include "hand_pull.h"
#include "headless_runner.h"
#include "key_controls.h"
#include "physics_settings.h"

namespace {

// The length of one event's line in a session's text of `figure`, newline included.
std::size_t lineBytes(const SessionEvent& event, const FigureModel& figure) {
    std::string line;
    appendSessionEvent(line, event, figure);
    return line.size();
}

// The step's end line is at most this long ("1000000000000 end\n").
constexpr std::size_t endLineBytes = 18;

bool fits(const PageSession& page, std::size_t moreBytes) {
    return page.recorded.events.size() < maxSessionEvents &&
           page.textBytes + moreBytes + endLineBytes <= maxSessionBytes;
}

// Appends an event to the session and applies it.
void appendAndApply(PageSession& page, const SessionEvent& event) {
    page.recorded.events.push_back(event);
    page.textBytes += lineBytes(event, *page.run.model);
    applySessionEvent(page.run, event);
}

// The replay's events of the current step, in order.
void applyDueReplayEvents(PageSession& page) {
    const std::vector<SessionEvent>& events = page.replay.events;
    for (; page.replayNext < events.size() && events[page.replayNext].step == page.run.step; ++page.replayNext)
        appendAndApply(page, events[page.replayNext]);
}

bool isArrowKey(int key) {
    return key == keyLeft || key == keyRight || key == keyUp || key == keyDown;
}

}  // namespace

void startPageSession(PageSession& page) {
    startPageSession(page, page.run.model != nullptr ? page.run.model : marionetteFigure());
}

void startPageSession(PageSession& page, std::shared_ptr<const FigureModel> figure) {
    if (figure == nullptr) figure = marionetteFigure();
    startFigureRun(page.run, figure, PhysicsSettings{}, true);
    page.recorded = Session{};
    if (figure != marionetteFigure()) page.recorded.figure = std::move(figure);
    page.textBytes = writeSession(page.recorded).size() - std::strlen("0 end\n");
    page.replay = Session{};
    page.replayNext = 0;
    page.replaying = false;
}

bool sessionHasRoom(const PageSession& page) {
    return fits(page, 0);
}

bool recordInput(PageSession& page, SessionEvent input) {
    input.step = page.run.step;
    const bool handInput = input.kind == SessionEventKind::move || input.kind == SessionEventKind::release;
    if (handInput && (page.replaying || !page.run.data.hand.active)) return false;
    switch (input.kind) {
        case SessionEventKind::key:
            if (!isArrowKey(input.code)) return false;
            break;
        case SessionEventKind::knob:
            if (input.code < 0 || input.code >= knobCount ||
                !knobValueAllowed(static_cast<Knob>(input.code), input.targetX) ||
                knobValue(page.run.settings, static_cast<Knob>(input.code)) == input.targetX)
                return false;
            break;
        case SessionEventKind::grab: {
            // the hand's own test, undone at once: a grab it refuses is no
            // input, and one it takes is recorded with the target it took
            const HandGrab before = page.run.data.hand;
            const bool taken = takeHold(*page.run.model, page.run.data, input.code, {input.heldX, input.heldY}, {input.targetX, input.targetY});
            input.targetX = page.run.data.hand.target.x;
            input.targetY = page.run.data.hand.target.y;
            page.run.data.hand = before;
            if (!taken) return false;
            break;
        }
        case SessionEventKind::move: {
            // the target as the hand takes it, likewise
            const HandGrab before = page.run.data.hand;
            moveHandTarget(page.run.data, {input.targetX, input.targetY});
            input.targetX = page.run.data.hand.target.x;
            input.targetY = page.run.data.hand.target.y;
            page.run.data.hand = before;
            // only the last move of a step counts: it takes the place of the one before
            std::vector<SessionEvent>& events = page.recorded.events;
            if (!events.empty() && events.back().kind == SessionEventKind::move && events.back().step == input.step) {
                SessionEvent& last = events.back();
                const std::size_t oldBytes = lineBytes(last, *page.run.model);
                const std::size_t newBytes = lineBytes(input, *page.run.model);
                if (newBytes > oldBytes && !fits(page, newBytes - oldBytes)) return false;
                last = input;
                page.textBytes = page.textBytes - oldBytes + newBytes;
                applySessionEvent(page.run, input);
                return true;
            }
            break;
        }
        case SessionEventKind::release:
        case SessionEventKind::reset:
            break;
    }
    if (page.replaying) takeOverReplay(page);
    // a grab while the hand holds: it lets go first, as a session says
    if (input.kind == SessionEventKind::grab && page.run.data.hand.active) {
        SessionEvent release;
        release.step = input.step;
        release.kind = SessionEventKind::release;
        if (!fits(page, lineBytes(release, *page.run.model))) return false;
        appendAndApply(page, release);
    }
    if (!fits(page, lineBytes(input, *page.run.model))) return false;
    appendAndApply(page, input);
    return true;
}

void startReplay(PageSession& page, Session loaded) {
    startPageSession(page, loaded.figure);
    page.replay = std::move(loaded);
    page.replaying = true;
    if (page.replay.endStep == 0) {
        applyDueReplayEvents(page);
        takeOverReplay(page);
    }
}

bool stepPageSession(PageSession& page) {
    if (page.replaying) applyDueReplayEvents(page);
    stepFigureRun(page.run);
    if (!page.replaying || page.run.step < page.replay.endStep) return false;
    // the end: its own events too, so that the figure stands as it did where the session was made
    applyDueReplayEvents(page);
    takeOverReplay(page);
    return true;
}

void takeOverReplay(PageSession& page) {
    if (!page.replaying) return;
    page.replaying = false;
    page.replay = Session{};
    page.replayNext = 0;
    // (in a session that is full the hand holds on, in the page as in a replay of it)
    SessionEvent release;
    release.step = page.run.step;
    release.kind = SessionEventKind::release;
    if (page.run.data.hand.active && fits(page, lineBytes(release, *page.run.model))) appendAndApply(page, release);
}

std::string pageSessionText(const PageSession& page) {
    Session session;
    session.figure = page.recorded.figure;
    session.events = page.recorded.events;
    session.endStep = page.run.step;
    return writeSession(session);
}

void writeSessionCsv(const Session& session, std::FILE* out) {
    RunnerOptions options;
    options.every = 100;
    options.energy = true;
    runHeadless(options, &session, out);
}

namespace {

// A snapshot: this header, then the state, the books' last rates and angles
// (n each: q, p, lastRate, lastAngle), then the events recorded. The header
// goes as it lies in memory: only this same program reads it.
constexpr std::uint32_t snapshotTag = 0x6d617232;  // "mar2"

struct SnapshotHeader {
    std::uint32_t tag;
    std::int32_t n;
    KeyState keys;
    PhysicsSettings settings;
    HandGrab hand;
    std::int64_t step, stepsSinceReset;
    std::int32_t keepsLedger;
    FigureEnergy start, now;
    double dissipated, supplied, knobWork, handWork, residual;
    std::uint64_t count;
};

static_assert(std::is_trivially_copyable_v<SnapshotHeader> && std::is_trivially_copyable_v<SessionEvent> &&
              sizeof(SnapshotHeader) <= 1024);

void putDoubles(std::string& bytes, const std::vector<double>& values, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const double v = i < values.size() ? values[i] : 0.0;
        bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
}

void takeDoubles(std::vector<double>& values, const char*& at, std::size_t n) {
    values.resize(n);
    std::memcpy(values.data(), at, n * sizeof(double));
    at += n * sizeof(double);
}

}  // namespace

std::string pageSnapshot(const PageSession& page) {
    const FigureRun& run = page.run;
    const EnergyLedger& books = run.ledger;
    const auto n = static_cast<std::size_t>(run.model->n);
    const SnapshotHeader header{snapshotTag, run.model->n, run.keys, run.settings, run.data.hand, run.step,
                                run.stepsSinceReset, run.keepsLedger ? 1 : 0, books.start, books.now,
                                books.dissipated, books.supplied, books.knobWork, books.handWork, books.residual,
                                page.recorded.events.size()};
    std::string bytes;
    bytes.reserve(sizeof header + 4 * n * sizeof(double) + header.count * sizeof(SessionEvent));
    bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
    putDoubles(bytes, run.data.q, n);
    putDoubles(bytes, run.data.p, n);
    putDoubles(bytes, books.lastRate, n);
    putDoubles(bytes, books.lastAngle, n);
    if (header.count > 0)
        bytes.append(reinterpret_cast<const char*>(page.recorded.events.data()), header.count * sizeof(SessionEvent));
    return bytes;
}

bool restorePageSnapshot(PageSession& page, const char* bytes, std::size_t length) {
    SnapshotHeader h{};
    if (bytes == nullptr || length < sizeof h) return false;
    std::memcpy(&h, bytes, sizeof h);
    const int n = page.run.model->n;
    const std::size_t stateBytes = 4 * static_cast<std::size_t>(n) * sizeof(double);
    if (h.tag != snapshotTag || h.n != n || h.count > maxSessionEvents ||
        length != sizeof h + stateBytes + h.count * sizeof(SessionEvent) ||
        (h.hand.active && (h.hand.segment < 0 || h.hand.segment >= n)))
        return false;
    for (int k = 0; k < knobCount; ++k)
        if (!knobValueAllowed(static_cast<Knob>(k), knobValue(h.settings, static_cast<Knob>(k)))) return false;
    FigureRun run;
    startFigureRun(run, page.run.model, h.settings, h.keepsLedger != 0);
    const char* at = bytes + sizeof h;
    takeDoubles(run.data.q, at, n);
    takeDoubles(run.data.p, at, n);
    std::vector<double> lastRate, lastAngle;
    takeDoubles(lastRate, at, n);
    takeDoubles(lastAngle, at, n);
    run.keys = h.keys;
    run.data.hand = h.hand;
    run.step = h.step;
    run.stepsSinceReset = h.stepsSinceReset;
    if (run.keepsLedger) {
        EnergyLedger& books = run.ledger;
        books.start = h.start;
        books.now = h.now;
        books.dissipated = h.dissipated;
        books.supplied = h.supplied;
        books.knobWork = h.knobWork;
        books.handWork = h.handWork;
        books.residual = h.residual;
        books.lastRate = std::move(lastRate);
        books.lastAngle = std::move(lastAngle);
    }
    Session recorded;
    recorded.figure = page.recorded.figure;
    recorded.events.resize(h.count);
    if (h.count > 0) std::memcpy(recorded.events.data(), at, h.count * sizeof(SessionEvent));
    page.run = std::move(run);
    page.textBytes = writeSession(recorded).size() - std::strlen("0 end\n");
    page.recorded = std::move(recorded);
    page.replay = Session{};
    page.replayNext = 0;
    page.replaying = false;
    return true;
}
