// A session: every input that changes the figure's physics, each stamped with
// the step before which it takes effect, so that replaying it gives the same
// numbers whatever the pace and the frame timing were.
//
// The text form, one line each, fields separated by one space:
//
//   marionette-session 1           (the window program's figure)
//   marionette-session 2           (any figure: the next line names it)
//   figure NAME                    a built-in figure (builtin_figures.h), or
//   model JSON                     a model (model_file.h), on one line
//   STEP key left|right|up|down
//   STEP grab SEGMENT HELD_X HELD_Y TARGET_X TARGET_Y
//   STEP move TARGET_X TARGET_Y
//   STEP release
//   STEP knob gravity|stiffness|damping|torque VALUE
//   STEP reset
//   STEP compare SEGMENT NUDGE     a second copy begins (comparison.h)
//   STEP compare off               and ends
//   STEP copy-knob gravity|stiffness|damping|torque VALUE   the copy's knob alone
//   STEP end
//
// STEP counts the steps since the session began (a reset does not restart
// it); it never goes back from one line to the next, and the one end line,
// the last, says where the session stopped. SEGMENT is a segment's name in
// the figure (torso, rightUpperArm, ..., leftFoot in the window program's). The held point is in the segment's
// drawn frame and the target in the drawing plane, both in the drawing's
// units, each coordinate within the hand's reach (hand_pull.h); a knob's
// value lies in its range (physics_settings.h), a nudge in its own
// (comparison.h). A session that compares is always of version 2, so that
// a reader of version 1 alone never meets a line it does not know. Numbers are written with 17
// significant digits, so they read back as the same doubles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class SessionEventKind { key, grab, move, release, knob, reset, compare, copyKnob };

struct SessionEvent {
    std::int64_t step = 0;  // the event takes effect before this step is taken
    SessionEventKind kind = SessionEventKind::reset;
    int code = 0;           // key: keyLeft .. keyDown; grab: segment; knob, copy-knob: a Knob; compare: the joint, -1 off
    double heldX = 0.0, heldY = 0.0;      // grab: the held point, in the segment's drawn frame
    double targetX = 0.0, targetY = 0.0;  // grab, move: where the hand pulls; knob: the value, compare: the nudge, in targetX
};

struct FigureModel;

struct Session {
    // the figure the session runs: null for the window program's, or any model
    std::shared_ptr<const FigureModel> figure;
    std::vector<SessionEvent> events;  // in the order they happened, steps never going back
    std::int64_t endStep = 0;          // the step the session stopped at
};

inline constexpr const char* sessionFormatLine = "marionette-session 1";
inline constexpr const char* figureSessionFormatLine = "marionette-session 2";
inline constexpr std::size_t maxSessionEvents = 1000000;
inline constexpr std::size_t maxSessionBytes = 50000000;
inline constexpr std::int64_t maxSessionStep = 1000000000000;  // 10^12

// Reads a session from its text. On success returns true; otherwise false,
// with `error` one line that names the line and what is wrong with it, and
// `session` unspecified.
bool readSession(Session& session, std::string& error, const char* text, std::size_t length);

// Appends the line of one event of a session of `figure` (whose names a
// grab takes) to `out`, newline included, as writeSession writes it.
void appendSessionEvent(std::string& out, const SessionEvent& event, const FigureModel& figure);

// Whether the session has a compare event.
bool sessionCompares(const Session& session);

// Whether the session's text is of version 2, naming its figure: any figure
// but the window program's, and any session that compares.
bool sessionNamesFigure(const Session& session);

// The text of a session, ending in a newline; readSession gives it back.
std::string writeSession(const Session& session);
