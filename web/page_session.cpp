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

// The header line and the end line of a session's text with no events.
std::size_t emptyTextBytes() {
    return writeSession(Session{}).size();
}

// The length of one event's line in a session's text, newline included.
std::size_t lineBytes(const SessionEvent& event) {
    Session one;
    one.events.push_back(event);
    return writeSession(one).size() - emptyTextBytes();
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
    page.textBytes += lineBytes(event);
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
    startFigureRun(page.run, PhysicsSettings{}, true);
    page.recorded = Session{};
    page.textBytes = emptyTextBytes() - std::strlen("0 end\n");
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
    if (handInput && (page.replaying || !handGrab.active)) return false;
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
            const HandGrab before = handGrab;
            const bool taken = takeHold(input.code, {input.heldX, input.heldY}, {input.targetX, input.targetY});
            input.targetX = handGrab.target.x;
            input.targetY = handGrab.target.y;
            handGrab = before;
            if (!taken) return false;
            break;
        }
        case SessionEventKind::move: {
            // the target as the hand takes it, likewise
            const HandGrab before = handGrab;
            moveHandTarget({input.targetX, input.targetY});
            input.targetX = handGrab.target.x;
            input.targetY = handGrab.target.y;
            handGrab = before;
            // only the last move of a step counts: it takes the place of the one before
            std::vector<SessionEvent>& events = page.recorded.events;
            if (!events.empty() && events.back().kind == SessionEventKind::move && events.back().step == input.step) {
                SessionEvent& last = events.back();
                const std::size_t oldBytes = lineBytes(last);
                const std::size_t newBytes = lineBytes(input);
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
    if (input.kind == SessionEventKind::grab && handGrab.active) {
        SessionEvent release;
        release.step = input.step;
        release.kind = SessionEventKind::release;
        if (!fits(page, lineBytes(release))) return false;
        appendAndApply(page, release);
    }
    if (!fits(page, lineBytes(input))) return false;
    appendAndApply(page, input);
    return true;
}

void startReplay(PageSession& page, Session loaded) {
    startPageSession(page);
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
    if (handGrab.active && fits(page, lineBytes(release))) appendAndApply(page, release);
}

std::string pageSessionText(const PageSession& page) {
    Session session;
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

// A snapshot: this tag, the run, the hand, the number of events, the events.
// The structs go as they lie in memory: only this same program reads them.
constexpr std::uint32_t snapshotTag = 0x6d617231;  // "mar1"

static_assert(std::is_trivially_copyable_v<FigureRun> && std::is_trivially_copyable_v<HandGrab> &&
              std::is_trivially_copyable_v<SessionEvent>);

template <typename T>
void put(std::string& bytes, const T& value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
bool take(T& value, const char*& at, const char* end) {
    if (static_cast<std::size_t>(end - at) < sizeof value) return false;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return true;
}

}  // namespace

std::string pageSnapshot(const PageSession& page) {
    std::string bytes;
    const std::uint64_t count = page.recorded.events.size();
    bytes.reserve(sizeof snapshotTag + sizeof(FigureRun) + sizeof(HandGrab) + sizeof count + count * sizeof(SessionEvent));
    put(bytes, snapshotTag);
    put(bytes, page.run);
    put(bytes, handGrab);
    put(bytes, count);
    if (count > 0)
        bytes.append(reinterpret_cast<const char*>(page.recorded.events.data()), count * sizeof(SessionEvent));
    return bytes;
}

bool restorePageSnapshot(PageSession& page, const char* bytes, std::size_t length) {
    const char* at = bytes;
    const char* end = bytes + length;
    std::uint32_t tag = 0;
    FigureRun run;
    HandGrab hand;
    std::uint64_t count = 0;
    if (bytes == nullptr || !take(tag, at, end) || tag != snapshotTag || !take(run, at, end) || !take(hand, at, end) ||
        !take(count, at, end) || count > maxSessionEvents || static_cast<std::size_t>(end - at) != count * sizeof(SessionEvent))
        return false;
    Session recorded;
    recorded.events.resize(count);
    if (count > 0) std::memcpy(recorded.events.data(), at, count * sizeof(SessionEvent));
    page.run = run;
    handGrab = hand;
    applyPhysicsSettings(page.run.settings);
    page.textBytes = writeSession(recorded).size() - std::strlen("0 end\n");
    page.recorded = std::move(recorded);
    page.replay = Session{};
    page.replayNext = 0;
    page.replaying = false;
    return true;
}
