// The page's run of the figure and its session. Every input that changes
// the physics (a key, a knob, a grab, a move of the hand, a release, a
// reset, a comparison begun or ended, a knob of its copy)
// comes through recordInput: it is stamped with the step before which it
// takes effect, appended to the session and applied by applySessionEvent,
// as the runner applies it. A loaded session replays through the same path,
// its events applied before the steps they name, and any input of the
// person's own ends the replay there: what was applied stays, and recording
// goes on.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "comparison.h"
#include "figure_run.h"
#include "session.h"

struct PageSession {
    FigureRun run;             // the figure; run.step counts the steps since the session began
    Session recorded;          // every input since the session began (endStep unused)
    std::size_t textBytes = 0; // the length of recorded's text without its end line
    Session replay;            // a loaded session, while it replays
    std::size_t replayNext = 0;  // replay.events[replayNext] is the next to apply
    bool replaying = false;
    Comparison comparison;       // a second copy, begun and ended by the session's compare events
    bool compares = false;       // whether the session has a compare event yet
};

// A fresh session of the figure that runs (the window program's, before any
// other): the start-up state, the knobs at their standard values, nothing
// held, nothing recorded, step 0, no replay.
void startPageSession(PageSession& page);
// The same with `figure`, which the session then names (unless it is the
// window program's).
void startPageSession(PageSession& page, std::shared_ptr<const FigureModel> figure);

// One input of the person's at the current step. A key, knob, grab or reset
// ends a replay first (takeOverReplay); a move or release during a replay
// belongs to a drag from before it and is ignored. An input that would
// change nothing is neither applied nor recorded: an unknown key, a knob
// value out of range or equal to the one in force, a grab the hand refuses,
// a move or release while nothing is held, a compare on a joint that is
// none or with a nudge not allowed, an end of a comparison or a copy's knob
// while none runs. Neither is an input that would
// take the session beyond what a session may hold (maxSessionEvents,
// maxSessionBytes). A grab's and a move's target are recorded as the hand
// took them (clamped to its reach); a move at the same step as the move
// before it replaces that one, since only the last counts. Returns whether
// the input was recorded.
bool recordInput(PageSession& page, SessionEvent input);

// Whether one more input fits in the session (maxSessionEvents, maxSessionBytes).
bool sessionHasRoom(const PageSession& page);

// Replays `loaded` from a fresh session (startPageSession) of the figure it
// names. At its end step,
// or at once for a session that ends at step 0, finishReplay ends it.
void startReplay(PageSession& page, Session loaded);

// One step of the figure: during a replay the events of this step are
// applied first, and the replay finishes once the step reaches its end.
// Returns true when this step finished a replay.
bool stepPageSession(PageSession& page);

// Ends a replay where it stands: the session keeps the events applied so
// far, and the replay's hand, if it holds the figure, lets go (recorded).
void takeOverReplay(PageSession& page);

// The session so far, ending at the current step, as text.
std::string pageSessionText(const PageSession& page);

// Writes the runner's CSV of `session` (marionette-sim --session with its
// text, --every 100 --energy) to `out`, by the runner's own code, which runs
// a figure of its own from step 0 (the page's worker uses it). Stops early
// once a write to `out` has failed.
void writeSessionCsv(const Session& session, std::FILE* out);

// The page's run as bytes (the figure, the hand, the session recorded so
// far), for a page of the same program to take on (restorePageSnapshot): a
// replay computed elsewhere goes on from where it ended.
std::string pageSnapshot(const PageSession& page);

// The largest snapshot: a figure of maxSegments and a full session.
inline constexpr std::size_t maxPageSnapshotBytes =
    1024 + 8 * maxSegments * sizeof(double) + maxSessionEvents * sizeof(SessionEvent);

// Takes on a snapshot made by pageSnapshot in this same program, ending any
// replay; false, changing nothing, for bytes that are none.
bool restorePageSnapshot(PageSession& page, const char* bytes, std::size_t length);
