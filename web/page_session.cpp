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

// What one more event adds to the session's text: its line, and for the
// first compare event of a session of the window program's figure, the
// figure line and the version 2 format line in place of version 1.
std::size_t addedBytes(const PageSession& page, const SessionEvent& event) {
    const bool becomesVersion2 = event.kind == SessionEventKind::compare && !page.compares &&
                                 (page.recorded.figure == nullptr || page.recorded.figure == marionetteFigure());
    return lineBytes(event, *page.run.model) + (becomesVersion2 ? std::strlen("figure marionette\n") : 0);
}

// Appends an event to the session and applies it, to the comparison's copy too.
void appendAndApply(PageSession& page, const SessionEvent& event) {
    page.textBytes += addedBytes(page, event);
    page.recorded.events.push_back(event);
    if (event.kind == SessionEventKind::compare) page.compares = true;
    applySessionEvent(page.run, event);
    followSessionEvent(page.comparison, page.run, event);
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
    page.comparison = Comparison{};
    page.compares = false;
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
        case SessionEventKind::copyKnob: {
            const bool copy = input.kind == SessionEventKind::copyKnob;
            if ((copy && !page.comparison.on) || input.code < 0 || input.code >= knobCount ||
                !knobValueAllowed(static_cast<Knob>(input.code), input.targetX) ||
                knobValue((copy ? page.comparison.twin : page.run).settings, static_cast<Knob>(input.code)) == input.targetX)
                return false;
            break;
        }
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
        case SessionEventKind::compare:
            // a comparison begins on a joint with a nudge allowed, and ends while it runs
            if (input.code < 0 ? !page.comparison.on : input.code >= page.run.model->n || !nudgeAllowed(input.targetX))
                return false;
            if (input.code < 0) input.targetX = 0.0;
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
    if (!fits(page, addedBytes(page, input))) return false;
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
    stepComparison(page.comparison);
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

// A snapshot: the run, then whether a comparison runs (its joint, nudge and
// copy if so), then the events recorded. A run goes as this header, then its
// state and its books' last rates and angles (n each: q, p, lastRate,
// lastAngle). Headers go as they lie in memory: only this same program reads
// them.
constexpr std::uint32_t snapshotTag = 0x6d617233;  // "mar3"

struct RunHeader {
    std::uint32_t tag;
    std::int32_t n;
    KeyState keys;
    PhysicsSettings settings;
    HandGrab hand;
    std::int64_t step, stepsSinceReset;
    std::int32_t keepsLedger;
    FigureEnergy start, now;
    double dissipated, supplied, knobWork, handWork, residual;
};

struct ComparisonHeader {
    std::int32_t on, joint, twinKeepsLedger;
    double nudge;
    std::uint64_t count;  // the events recorded
};

static_assert(std::is_trivially_copyable_v<RunHeader> && std::is_trivially_copyable_v<ComparisonHeader> &&
              std::is_trivially_copyable_v<SessionEvent> && 2 * sizeof(RunHeader) + sizeof(ComparisonHeader) <= 1024);

template <typename T>
void put(std::string& bytes, const T& value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void putDoubles(std::string& bytes, const std::vector<double>& values, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) put(bytes, i < values.size() ? values[i] : 0.0);
}

void putRun(std::string& bytes, const FigureRun& run) {
    const EnergyLedger& books = run.ledger;
    put(bytes, RunHeader{snapshotTag, run.model->n, run.keys, run.settings, run.data.hand, run.step,
                         run.stepsSinceReset, run.keepsLedger ? 1 : 0, books.start, books.now, books.dissipated,
                         books.supplied, books.knobWork, books.handWork, books.residual});
    const auto n = static_cast<std::size_t>(run.model->n);
    putDoubles(bytes, run.data.q, n);
    putDoubles(bytes, run.data.p, n);
    putDoubles(bytes, books.lastRate, n);
    putDoubles(bytes, books.lastAngle, n);
}

// Reads bytes from `at` on, if there are that many before `end`.
class Reader {
public:
    Reader(const char* at, const char* end) : at_(at), end_(end) {}
    bool take(void* out, std::size_t size) {
        if (static_cast<std::size_t>(end_ - at_) < size) return false;
        std::memcpy(out, at_, size);
        at_ += size;
        return true;
    }
    bool takeDoubles(std::vector<double>& values, std::size_t n) {
        values.resize(n);
        return take(values.data(), n * sizeof(double));
    }
    bool atEnd() const { return at_ == end_; }

private:
    const char* at_;
    const char* end_;
};

// A run of `model` from a snapshot's bytes; false for bytes that are none.
bool takeRun(FigureRun& run, std::shared_ptr<const FigureModel> model, Reader& in) {
    RunHeader h{};
    const int n = model->n;
    if (!in.take(&h, sizeof h) || h.tag != snapshotTag || h.n != n ||
        (h.hand.active && (h.hand.segment < 0 || h.hand.segment >= n)))
        return false;
    for (int k = 0; k < knobCount; ++k)
        if (!knobValueAllowed(static_cast<Knob>(k), knobValue(h.settings, static_cast<Knob>(k)))) return false;
    startFigureRun(run, std::move(model), h.settings, h.keepsLedger != 0);
    std::vector<double> lastRate, lastAngle;
    if (!in.takeDoubles(run.data.q, n) || !in.takeDoubles(run.data.p, n) || !in.takeDoubles(lastRate, n) ||
        !in.takeDoubles(lastAngle, n))
        return false;
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
    return true;
}

}  // namespace

std::string pageSnapshot(const PageSession& page) {
    const Comparison& c = page.comparison;
    const std::uint64_t count = page.recorded.events.size();
    std::string bytes;
    bytes.reserve(2 * sizeof(RunHeader) + sizeof(ComparisonHeader) + 8 * page.run.data.q.size() * sizeof(double) +
                  count * sizeof(SessionEvent));
    putRun(bytes, page.run);
    put(bytes, ComparisonHeader{c.on ? 1 : 0, c.joint, c.twinKeepsLedger ? 1 : 0, c.nudge, count});
    if (c.on) putRun(bytes, c.twin);
    if (count > 0) bytes.append(reinterpret_cast<const char*>(page.recorded.events.data()), count * sizeof(SessionEvent));
    return bytes;
}

bool restorePageSnapshot(PageSession& page, const char* bytes, std::size_t length) {
    if (bytes == nullptr) return false;
    Reader in(bytes, bytes + length);
    FigureRun run;
    ComparisonHeader h{};
    Comparison comparison;
    if (!takeRun(run, page.run.model, in) || !in.take(&h, sizeof h) || h.count > maxSessionEvents) return false;
    comparison.on = h.on != 0;
    comparison.joint = h.joint;
    comparison.nudge = h.nudge;
    comparison.twinKeepsLedger = h.twinKeepsLedger != 0;
    if (comparison.on && (h.joint < 0 || h.joint >= run.model->n || !nudgeAllowed(h.nudge) ||
                          !takeRun(comparison.twin, page.run.model, in)))
        return false;
    Session recorded;
    recorded.figure = page.recorded.figure;
    recorded.events.resize(h.count);
    if (h.count > 0 && !in.take(recorded.events.data(), h.count * sizeof(SessionEvent))) return false;
    if (!in.atEnd()) return false;
    page.run = std::move(run);
    page.comparison = std::move(comparison);
    page.textBytes = writeSession(recorded).size() - std::strlen("0 end\n");
    page.compares = sessionCompares(recorded);
    page.recorded = std::move(recorded);
    page.replay = Session{};
    page.replayNext = 0;
    page.replaying = false;
    return true;
}
