// The figure in a web page: the window program's core, key table and drawing,
// compiled to WebAssembly and paced by the page's animation frames. The page
// (index.html) drives it through the functions exported below.
#include <GL/glut.h>
#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "artwork.h"
#include "builtin_figures.h"
#include "drawn_figure.h"
#include "csv_chunks.h"
#include "figure_energy.h"
#include "figure_picking.h"
#include "figure_renderer.h"
#include "frame_pacing.h"
#include "hand_pull.h"
#include "integrator.h"
#include "key_controls.h"
#include "model_file.h"
#include "page_session.h"
#include "physics_settings.h"
#include "session.h"

namespace {

constexpr int canvasSize = 400;           // pixels, until the page says how big the canvas is
constexpr int stepsPerStepButton = 100;   // what one press of Step advances

PageSession page;                  // the figure's run (state, keys, knobs, books) and its session
std::uint64_t stepsTaken = 0;      // steps since start-up, never reset: the page's rate readout
Pace pace = Pace::realTime;        // how simulated time follows the clock
bool paused = false;               // no steps until the page resumes, but Step
bool pictureDue = true;            // the angles changed since the last picture
double owedSteps = 0.0;            // steps the clock asks for and not yet taken
double stepsAtPace[3] = {};        // the session's steps taken at each pace: the pace it was made at
double previousFrameMs = -1.0;     // when the last frame ran; -1 before the first
int picturesDrawn = 0;             // of artworkCount: the page draws its pictures before it starts
std::unique_ptr<char[]> inbox;     // where the page puts a session's text for webLoadSession
std::size_t inboxBytes = 0;
std::string outbox;                // the last text handed to the page (a session, the data, an error)
std::string figureLabel = "marionette";  // the running figure's name, or "file"
int figureChanges = 0;             // how many times the running figure changed: the page redraws its controls
int viewWidth = canvasSize;        // the drawing buffer's size in pixels
int viewHeight = canvasSize;
double figureReach = 1.0;          // how far from the pivot a figure drawn as bars can reach, drawing units
std::vector<DrawnFrame> barFrames;   // a figure drawn as bars: its segments' drawn frames
std::vector<double> barCoordinates;  // and what webBars hands the page

// The running figure's model.
const FigureModel& model() { return *page.run.model; }

// The comparison, if one runs: the page's session's (page.comparison).
const Comparison& comparison = page.comparison;

// A figure drawn as bars is seen from straight ahead, the pivot in the middle
// and a circle of the figure's reach (a little more) filling the canvas's
// shorter side: the plane's units in normalised device coordinates.
double barScaleX() {
    const double aspect = static_cast<double>(viewWidth) / viewHeight;
    return aspect >= 1.0 ? 1.0 / (1.08 * figureReach * aspect) : 1.0 / (1.08 * figureReach);
}
double barScaleY() {
    const double aspect = static_cast<double>(viewWidth) / viewHeight;
    return aspect >= 1.0 ? 1.0 / (1.08 * figureReach) : aspect / (1.08 * figureReach);
}

// The farthest any drawn point of the figure can be from the pivot: every
// joint's offset and every segment's length along its longest path.
double reachOf(const FigureModel& figure) {
    std::vector<double> jointReach(static_cast<std::size_t>(figure.n), 0.0);
    double reach = 0.0;
    for (int i = 0; i < figure.n; ++i) {
        const int parent = figure.parent[i];
        jointReach[i] = (parent < 0 ? 0.0 : jointReach[parent]) + std::hypot(figure.drawnJointX[i], figure.drawnJointY[i]);
        reach = std::max(reach, jointReach[i] + std::abs(figure.drawnLength[i]));
    }
    return reach > 0.0 && std::isfinite(reach) ? reach : 1.0;
}

// The drawn frames of a figure drawn as bars at the angles q (the page's run's).
void computeBarFrames(const std::vector<double>& q = page.run.data.q) {
    const auto n = static_cast<std::size_t>(model().n);
    std::vector<double> sines(n), cosines(n);
    for (std::size_t i = 0; i < n; ++i) {
        sines[i] = std::sin(q[i]);
        cosines[i] = std::cos(q[i]);
    }
    barFrames.resize(n);
    computeDrawnFrames(model(), barFrames.data(), sines.data(), cosines.data());
}

// The width of a bar, drawing units: thinner for figures of many segments,
// but never thinner than a 150th of the figure's reach.
double barWidth() {
    const double byCount = std::min(figureReach / (6.0 * std::sqrt(static_cast<double>(model().n)) + 4.0), 0.25);
    return std::max(byCount, figureReach / 150.0);
}

// Draws the next picture into the file the texture loader reads: the same
// bytes as assets/, which the page thus never downloads. The last one loads
// the textures.
void drawNextPicture() {
    const std::vector<std::uint8_t> file = drawArtworkFile(picturesDrawn);
    if (std::FILE* out = std::fopen(artworkFileName(picturesDrawn), "wb")) {
        std::fwrite(file.data(), 1, file.size(), out);
        std::fclose(out);
    }
    if (++picturesDrawn == artworkCount) loadFigureTextures();
}

// The running figure's angles and momenta.
const double* angles() { return page.run.data.q.data(); }
const double* momenta() { return page.run.data.p.data(); }

// One step; true when it ended a replay.
bool advance() {
    ++stepsTaken;
    ++stepsAtPace[static_cast<int>(pace)];
    pictureDue = true;
    return stepPageSession(page);
}

// One step of a frame. A replay that reaches its end pauses the page there,
// so that the figure stands where the session was made until the person
// goes on; the frame's remaining calls take no step.
void takeStep() {
    if (paused) return;
    if (advance()) {
        paused = true;
        owedSteps = 0.0;
    }
}

// An input of the person's, recorded and applied (recordInput); the picture follows.
bool input(const SessionEvent& event) {
    const bool recorded = recordInput(page, event);
    if (recorded) pictureDue = true;
    return recorded;
}

SessionEvent inputOf(SessionEventKind kind, int code = 0) {
    SessionEvent event;
    event.kind = kind;
    event.code = code;
    return event;
}

// The picture of the running figure: its pictures for the window program's,
// else an empty white view over which the page draws the bars (webBars).
void drawPicture() {
    if (model().pictures) {
        drawFigure(angles());
        return;
    }
    glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// One animation frame: the steps the pace asks for, then a picture if they moved the figure.
// Until the pictures are drawn, one picture per frame, so that the page can
// show how far it is; the frame that draws the last shows the figure.
void runFrame() {
    if (picturesDrawn < artworkCount) {
        drawNextPicture();
        if (picturesDrawn < artworkCount) return;
    }
    const double nowMs = emscripten_get_now();
    const double elapsedMs = previousFrameMs < 0.0 ? 0.0 : nowMs - previousFrameMs;
    previousFrameMs = nowMs;
    if (!paused) runFrameSteps(owedSteps, pace, elapsedMs, emscripten_get_now, takeStep);
    if (pictureDue) {
        drawPicture();
        pictureDue = false;
    }
}

// The plane point a pointer shows at normalised device coordinates of the
// canvas, and `reach` (a distance across the canvas in the same
// coordinates) as a distance in the plane there; false off the plane.
bool pointerOnPlane(PlanePoint& point, double& reach, double ndcX, double ndcY, double reachNdc) {
    if (!model().pictures) {
        point = {ndcX / barScaleX(), ndcY / barScaleY()};
        reach = reachNdc > 0.0 ? reachNdc / barScaleX() : 0.0;
        return true;
    }
    const CameraView view = cameraView();
    PlanePoint beside{};
    if (!unprojectToPlane(point, view, ndcX, ndcY)) return false;
    reach = reachNdc > 0.0 && unprojectToPlane(beside, view, ndcX + reachNdc, ndcY)
                ? std::sqrt((beside.x - point.x) * (beside.x - point.x) + (beside.y - point.y) * (beside.y - point.y))
                : 0.0;
    return true;
}

// The segment shown at a pointer, with its held point; -1 for none.
SegmentPick pickAtPointer(double ndcX, double ndcY, double reachNdc, PlanePoint& point) {
    double reach = 0.0;
    if (!std::isfinite(ndcX) || !std::isfinite(ndcY) || !pointerOnPlane(point, reach, ndcX, ndcY, reachNdc))
        return {-1, {0.0, 0.0}};
    if (model().pictures) return pickSegmentNear(textureTable, angles(), point, reach);
    // a bar: the nearest within its half width and the reach, the held point
    // where the pointer is, in the bar's frame
    computeBarFrames();
    SegmentPick best{-1, {0.0, 0.0}};
    double bestDistance = barWidth() / 2.0 + reach;
    for (int i = 0; i < model().n; ++i) {
        const PlanePoint local = pointInFrame(barFrames[i], point);
        const double length = model().drawnLength[i];
        const double along = std::clamp(local.x, std::min(0.0, length), std::max(0.0, length));
        const double distance = std::hypot(local.x - along, local.y);
        if (distance <= bestDistance) {
            bestDistance = distance;
            best = {i, local};
        }
    }
    return best;
}

// The plane point in normalised device coordinates of the canvas; false
// where it is not in front of the camera.
bool planeToNdc(double ndc[2], PlanePoint point) {
    if (model().pictures) return projectFromPlane(ndc, cameraView(), point);
    ndc[0] = point.x * barScaleX();
    ndc[1] = point.y * barScaleY();
    return true;
}

// The page took on the figure of page.run: its name (as its session's
// figure line gives it), its reach, and the page's controls.
void tookFigure() {
    figureLabel = "marionette";
    if (page.recorded.figure != nullptr) {
        Session named;
        named.figure = page.recorded.figure;
        const std::string text = writeSession(named);
        const std::size_t start = text.find('\n') + 1;
        figureLabel = text.compare(start, 7, "figure ") == 0
                          ? text.substr(start + 7, text.find('\n', start) - start - 7)
                          : "file";
    }
    figureReach = reachOf(model());
    ++figureChanges;
}

// The figure the page runs from now on, in a fresh session.
void changeFigure(std::shared_ptr<const FigureModel> figure) {
    startPageSession(page, std::move(figure));
    tookFigure();
    for (double& steps : stepsAtPace) steps = 0.0;
    owedSteps = 0.0;
    pictureDue = true;
}

// Reads the session of `bytes` bytes in the inbox into `session`, emptying
// the inbox; false with `error` naming the line and the fault, if any.
bool readInbox(Session& session, std::string& error, double bytes) {
    const bool read = inbox && bytes >= 0.0 && bytes <= static_cast<double>(inboxBytes) &&
                      readSession(session, error, inbox.get(), static_cast<std::size_t>(bytes));
    inbox.reset();
    inboxBytes = 0;
    if (!read && error.empty()) error = "the session could not be read";
    return read;
}

// Hands a text to the page: its address; its length comes from webTextLength.
const char* handOver(std::string text) {
    outbox = std::move(text);
    return outbox.c_str();
}

}  // namespace

int main(int argc, char** argv) {
    // The start-up state and a fresh session, the camera and the graphics
    // context of the window program.
    startPageSession(page);
    figureReach = reachOf(model());
    initCamera();
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(canvasSize, canvasSize);
    glutCreateWindow("marionette");
    // No key callback: the page hands the arrows to webPressKey and leaves
    // every other key to the browser.
    reshapeView(canvasSize, canvasSize);
    // The browser calls runFrame before every repaint; main returns at once.
    emscripten_set_main_loop(runFrame, 0, false);
    return 0;
}

// What the page calls.
extern "C" {

// Every call below that changes the physics is an input of the session:
// recorded at the current step and applied as the runner applies it, ending
// a replay (page_session.h).

EMSCRIPTEN_KEEPALIVE void webPressKey(int key) {
    input(inputOf(SessionEventKind::key, key));
}

// The canvas's drawing buffer is now width x height pixels (its CSS size
// times the screen's pixel ratio): the view follows, and the picture is drawn
// again at once, since resizing the buffer cleared it.
EMSCRIPTEN_KEEPALIVE void webResize(int width, int height) {
    if (width < 1 || height < 1) return;
    viewWidth = width;
    viewHeight = height;
    reshapeView(width, height);
    if (picturesDrawn == artworkCount) drawPicture();
}

// Pictures still to draw before the page starts; 0 once it runs.
EMSCRIPTEN_KEEPALIVE int webPicturesLeft() {
    return artworkCount - picturesDrawn;
}

// Knob k (0 gravity, 1 stiffness, 2 damping, 3 key torque, as Knob) to
// value, from the next step on; the ledger books the jump of stored energy.
// Returns 0, changing nothing, for an unknown knob or a value out of range
// (or when the session is full); a value already in force changes nothing
// and returns 1.
EMSCRIPTEN_KEEPALIVE int webSetKnob(int k, double value) {
    if (k < 0 || k >= knobCount || !knobValueAllowed(static_cast<Knob>(k), value)) return 0;
    if (knobValue(page.run.settings, static_cast<Knob>(k)) == value) return 1;
    SessionEvent event = inputOf(SessionEventKind::knob, k);
    event.targetX = value;
    return input(event) ? 1 : 0;
}

// Every knob back to its standard value: one change per knob that differs, in knob order.
EMSCRIPTEN_KEEPALIVE void webStandardKnobs() {
    for (int k = 0; k < knobCount; ++k) webSetKnob(k, knobInfo[k].standard);
}

// Knob k's value, range and standard value; 0 for an unknown knob.
EMSCRIPTEN_KEEPALIVE double webKnob(int k) {
    return k >= 0 && k < knobCount ? knobValue(page.run.settings, static_cast<Knob>(k)) : 0.0;
}

EMSCRIPTEN_KEEPALIVE double webKnobLow(int k) {
    return k >= 0 && k < knobCount ? knobInfo[k].low : 0.0;
}

EMSCRIPTEN_KEEPALIVE double webKnobHigh(int k) {
    return k >= 0 && k < knobCount ? knobInfo[k].high : 0.0;
}

EMSCRIPTEN_KEEPALIVE double webKnobStandard(int k) {
    return k >= 0 && k < knobCount ? knobInfo[k].standard : 0.0;
}

EMSCRIPTEN_KEEPALIVE void webSetPace(int value) {
    if (value < 0 || value > 2) return;
    pace = static_cast<Pace>(value);
    owedSteps = 0.0;
}

EMSCRIPTEN_KEEPALIVE void webSetPaused(int value) {
    paused = value != 0;
    owedSteps = 0.0;
}

// Pauses, then advances by stepsPerStepButton steps (fewer where a replay ends).
EMSCRIPTEN_KEEPALIVE void webStepOnce() {
    webSetPaused(1);
    if (picturesDrawn < artworkCount) return;
    for (int k = 0; k < stepsPerStepButton; ++k)
        if (advance()) break;
}

// Back to the start-up state with every torque off and nothing held; a
// paused page stays paused. The knobs stay as they are, and the books open
// under them.
EMSCRIPTEN_KEEPALIVE void webReset() {
    input(inputOf(SessionEventKind::reset));
    owedSteps = 0.0;
}

// Steps since start-up or the last reset.
EMSCRIPTEN_KEEPALIVE double webStepCount() {
    return static_cast<double>(page.run.stepsSinceReset);
}

EMSCRIPTEN_KEEPALIVE double webStepsTaken() {
    return static_cast<double>(stepsTaken);
}

EMSCRIPTEN_KEEPALIVE double webTimeStep() {
    return timeStep;
}

// Angle and momentum of joint i; 0 for any i that is not a joint of the figure.
EMSCRIPTEN_KEEPALIVE double webAngle(int i) {
    return i >= 0 && i < page.run.model->n ? angles()[i] : 0.0;
}

EMSCRIPTEN_KEEPALIVE double webMomentum(int i) {
    return i >= 0 && i < page.run.model->n ? momenta()[i] : 0.0;
}

// The energy readouts, in joules: 0 kinetic, 1 gravity, 2 spring (now), 3
// dissipated, 4 supplied (since start-up or the last reset), 5 the residual
// of the balance, 6 what knob changes added, 7 the work put in by the hand's
// pull (grab.js); 0 for any other term.
EMSCRIPTEN_KEEPALIVE double webEnergy(int term) {
    const EnergyLedger& ledger = page.run.ledger;
    switch (term) {
        case 0: return ledger.now.kinetic;
        case 1: return ledger.now.gravity;
        case 2: return ledger.now.spring;
        case 3: return ledger.dissipated;
        case 4: return ledger.supplied;
        case 5: return ledger.residual;
        case 6: return ledger.knobWork;
        case 7: return ledger.handWork;
        default: return 0.0;
    }
}

EMSCRIPTEN_KEEPALIVE int webLimbTorqueMode() {
    return page.run.keys.limbTorqueMode;
}

EMSCRIPTEN_KEEPALIVE int webTorsoTorqueDirection() {
    return page.run.keys.torsoTorqueDirection;
}

EMSCRIPTEN_KEEPALIVE int webPaused() {
    return paused ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int webPace() {
    return static_cast<int>(pace);
}

// The hand (grab.js). Pointers come in normalised device coordinates of the
// canvas, -1..1 from its left and bottom edges to its right and top ones;
// reachNdc, in the same units across, is how far around the pointer a
// segment still counts as under it (a finger's width; 0 for a mouse).

// The segment under the pointer, or -1: what the cursor shows.
EMSCRIPTEN_KEEPALIVE int webSegmentAt(double ndcX, double ndcY, double reachNdc) {
    PlanePoint point{};
    return pickAtPointer(ndcX, ndcY, reachNdc, point).segment;
}

// Takes hold of the segment under the pointer, at the pointer's point, and
// returns it; -1, when there is none, letting go of anything held.
EMSCRIPTEN_KEEPALIVE int webGrab(double ndcX, double ndcY, double reachNdc) {
    PlanePoint point{};
    const SegmentPick pick = pickAtPointer(ndcX, ndcY, reachNdc, point);
    SessionEvent grab = inputOf(SessionEventKind::grab, pick.segment);
    grab.heldX = pick.held.x;
    grab.heldY = pick.held.y;
    grab.targetX = point.x;
    grab.targetY = point.y;
    if (pick.segment >= 0 && input(grab)) return pick.segment;
    input(inputOf(SessionEventKind::release));
    return -1;
}

// The pointer moved: the hand pulls towards it. Ignored while nothing is
// held, and during a replay (the drag began before it).
EMSCRIPTEN_KEEPALIVE void webDrag(double ndcX, double ndcY) {
    PlanePoint point{};
    double reach = 0.0;
    if (!std::isfinite(ndcX) || !std::isfinite(ndcY) || !pointerOnPlane(point, reach, ndcX, ndcY, 0.0)) return;
    SessionEvent move = inputOf(SessionEventKind::move);
    move.targetX = point.x;
    move.targetY = point.y;
    input(move);
}

EMSCRIPTEN_KEEPALIVE void webRelease() {
    input(inputOf(SessionEventKind::release));
}

// Where the held point is drawn (0: x, 1: y) and where the hand pulls it
// (2: x, 3: y), in normalised device coordinates; NaN while nothing is held.
EMSCRIPTEN_KEEPALIVE double webHeldPoint(int k) {
    double ndc[2];
    const HandGrab& hand = page.run.data.hand;
    if (!hand.active || k < 0 || k > 3 ||
        !planeToNdc(ndc, k < 2 ? heldPointAt(*page.run.model, page.run.data, hand, angles()) : hand.target))
        return std::numeric_limits<double>::quiet_NaN();
    return ndc[k % 2];
}

// The session (session.js). Texts go between the page and the program as
// bytes in the program's memory: an address and webTextLength's length.

// The session so far, ending at the current step, as its text.
EMSCRIPTEN_KEEPALIVE const char* webSessionText() {
    return handOver(pageSessionText(page));
}

// The length of the text webSessionText, webSnapshot or webLoadSession handed over last.
EMSCRIPTEN_KEEPALIVE double webTextLength() {
    return static_cast<double>(outbox.size());
}

// Room for a session's text of `bytes` bytes, where the page writes it for
// webLoadSession; 0 beyond maxSessionBytes or when memory runs out.
EMSCRIPTEN_KEEPALIVE char* webSessionInbox(double bytes) {
    inbox.reset();
    inboxBytes = 0;
    if (!(bytes >= 0.0 && bytes <= static_cast<double>(maxSessionBytes))) return nullptr;
    const std::size_t size = static_cast<std::size_t>(bytes);
    inbox.reset(new (std::nothrow) char[size + 1]);
    if (inbox) inboxBytes = size;
    return inbox.get();
}

// Reads the session of `bytes` bytes in the inbox and replays it from a
// fresh start (the knobs at their standard values, nothing held), at the
// page's pace. Returns null when it replays; otherwise one line naming the
// line and the fault, with a fresh session started instead.
EMSCRIPTEN_KEEPALIVE const char* webLoadSession(double bytes) {
    Session loaded;
    std::string error;
    const bool read = readInbox(loaded, error, bytes);
    owedSteps = 0.0;
    pictureDue = true;
    for (double& steps : stepsAtPace) steps = 0.0;
    if (!read) {
        startPageSession(page);
        return handOver(error);
    }
    const std::shared_ptr<const FigureModel> before = page.run.model;
    startReplay(page, std::move(loaded));
    if (page.run.model != before) tookFigure();
    if (!page.replaying) paused = true;  // a session that ends at step 0 is over at once
    return nullptr;
}

// A fresh session: the start-up state, the knobs at their standard values,
// nothing held, nothing recorded.
EMSCRIPTEN_KEEPALIVE void webFreshSession() {
    startPageSession(page);
    for (double& steps : stepsAtPace) steps = 0.0;
    owedSteps = 0.0;
    pictureDue = true;
}

// Ends a replay where it stands; recording goes on from there.
EMSCRIPTEN_KEEPALIVE void webTakeOver() {
    takeOverReplay(page);
}

// 1 while a session replays, else 0; its end step; the steps since the
// session began; the inputs in the session so far; whether one more fits.
EMSCRIPTEN_KEEPALIVE int webReplaying() {
    return page.replaying ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE double webReplayEnd() {
    return static_cast<double>(page.replay.endStep);
}

EMSCRIPTEN_KEEPALIVE double webSessionStep() {
    return static_cast<double>(page.run.step);
}

EMSCRIPTEN_KEEPALIVE double webSessionInputs() {
    return static_cast<double>(page.recorded.events.size());
}

EMSCRIPTEN_KEEPALIVE int webSessionHasRoom() {
    return sessionHasRoom(page) ? 1 : 0;
}

// The pace most of the session's steps were taken at (as webSetPace): the
// pace a link to it plays at.
EMSCRIPTEN_KEEPALIVE int webSessionPace() {
    int most = 0;
    for (int k = 1; k < 3; ++k)
        if (stepsAtPace[k] > stepsAtPace[most]) most = k;
    return most;
}

// Long work, done by a second instance of this program in a worker
// (long_work.js), which runs no figure of its own and calls only these. It
// reports by messages to the page: {chunk, done} and {done}, `done` the
// steps computed so far.

// The runner's CSV of the session of `bytes` bytes in the inbox, handed to
// the page in chunks as it is written. Returns null when it is all written;
// otherwise one line saying why not.
EMSCRIPTEN_KEEPALIVE const char* webWorkerCsv(double bytes) {
    Session session;
    std::string error;
    if (!readInbox(session, error, bytes)) return handOver(error);
    CsvChunks chunks;
    std::FILE* out = chunks.open();
    if (out == nullptr) return handOver("no room for the data's buffer");
    writeSessionCsv(session, out);
    const bool written = !std::ferror(out);
    if (std::fclose(out) != 0 || !written || !chunks.handedOver()) return handOver("the data could not be handed over");
    return nullptr;
}

// Replays the session of `bytes` bytes in the inbox to its end, as the page
// replays it, reporting how far it is; the page takes on the end with
// webSnapshot. Returns null when it is there; otherwise one line saying why not.
EMSCRIPTEN_KEEPALIVE const char* webWorkerJump(double bytes) {
    Session session;
    std::string error;
    if (!readInbox(session, error, bytes)) return handOver(error);
    startReplay(page, std::move(session));
    while (page.replaying) {
        stepPageSession(page);
        if (page.run.step % 65536 == 0) reportSteps(static_cast<double>(page.run.step));
    }
    return nullptr;
}

// The page's run as bytes (pageSnapshot), and back from the inbox: the
// replay, if any, ends at the snapshot's state, paused; 0 for bytes that are
// no snapshot of this program, changing nothing.
EMSCRIPTEN_KEEPALIVE const char* webSnapshot() {
    return handOver(pageSnapshot(page));
}

// (the inbox holds a snapshot of a full session too)
static_assert(maxPageSnapshotBytes <= maxSessionBytes);

EMSCRIPTEN_KEEPALIVE int webRestoreSnapshot(double bytes) {
    const bool fits = inbox && bytes >= 0.0 && bytes <= static_cast<double>(inboxBytes);
    const std::int64_t before = page.run.step;
    const bool restored = fits && restorePageSnapshot(page, inbox.get(), static_cast<std::size_t>(bytes));
    inbox.reset();
    inboxBytes = 0;
    if (!restored) return 0;
    stepsAtPace[static_cast<int>(pace)] += static_cast<double>(page.run.step - before);
    paused = true;
    owedSteps = 0.0;
    pictureDue = true;
    return 1;
}

// The figure. The page hands a figure's name or a model file's text over
// in the inbox (webSessionInbox): webLoadFigure runs that figure from its
// start in a fresh session, and returns null; or one line saying why not,
// with the running figure left as it was.
EMSCRIPTEN_KEEPALIVE const char* webLoadFigure(double bytes, int isModelFile) {
    const bool fits = inbox && bytes >= 0.0 && bytes <= static_cast<double>(inboxBytes) && bytes <= maxModelFileBytes;
    const std::string text = fits ? std::string(inbox.get(), static_cast<std::size_t>(bytes)) : std::string();
    inbox.reset();
    inboxBytes = 0;
    if (!fits) return handOver(isModelFile ? "the model file is too large" : "no figure of that name");
    std::string error;
    std::shared_ptr<const FigureModel> figure;
    if (isModelFile) {
        FigureModel read;
        if (readFigureModel(read, error, text.data(), text.size()))
            figure = std::make_shared<const FigureModel>(std::move(read));
    } else if (text == "marionette") {
        figure = marionetteFigure();
    } else {
        figure = builtinFigure(text, error);
    }
    if (figure == nullptr) return handOver(error.empty() ? "the figure could not be read" : error);
    changeFigure(std::move(figure));
    return nullptr;
}

// The running figure's name as a session would give it (webTextLength
// gives its length): a built-in's, or "file" for any other model.
EMSCRIPTEN_KEEPALIVE const char* webFigureName() {
    return handOver(figureLabel);
}

EMSCRIPTEN_KEEPALIVE int webSegmentCount() {
    return model().n;
}

// 1 for a figure drawn with its pictures, 0 for one drawn as bars.
EMSCRIPTEN_KEEPALIVE int webFigurePictures() {
    return model().pictures ? 1 : 0;
}

// How many times the figure changed since start-up.
EMSCRIPTEN_KEEPALIVE int webFigureChanges() {
    return figureChanges;
}

// A figure drawn as bars, or (twin 1) the comparison's copy as bars over
// any figure, for the page to draw: the address of 2 + 4 n doubles, the bars' width in normalised device coordinates across and up,
// then each segment's joint and drawn end (x, y each) in normalised device
// coordinates; null for a figure drawn with its pictures (twin 0), or while
// there is no comparison (twin 1).
EMSCRIPTEN_KEEPALIVE const double* webBars(int twin) {
    if (twin != 0 ? !comparison.on : model().pictures) return nullptr;
    computeBarFrames(twin != 0 ? comparison.twin.data.q : page.run.data.q);
    const auto n = static_cast<std::size_t>(model().n);
    barCoordinates.resize(2 + 4 * n);
    barCoordinates[0] = barWidth() * barScaleX();
    barCoordinates[1] = barWidth() * barScaleY();
    for (std::size_t i = 0; i < n; ++i) {
        const PlanePoint end = pointOfFrame(barFrames[i], model().drawnLength[i], 0.0);
        double* at = &barCoordinates[2 + 4 * i];
        planeToNdc(at, barFrames[i].origin);
        planeToNdc(at + 2, end);
    }
    return barCoordinates.data();
}

// The parent of segment i; -1 for a root or any i that is not a segment.
EMSCRIPTEN_KEEPALIVE int webParent(int i) {
    return i >= 0 && i < model().n ? model().parent[i] : -1;
}

// The comparison. webCompare(1, joint, nudge) begins a copy of the running
// figure from its state now, the joint's angle nudged by `nudge` rad (0, or
// 1e-12 to 0.1 either way), ending a replay; webCompare(0, ...) ends it.
// Either goes into the session. Returns 1, or 0 for a joint or a nudge out
// of range, or a session with no room left, changing nothing.
EMSCRIPTEN_KEEPALIVE int webCompare(int on, int joint, double nudge) {
    SessionEvent event = inputOf(SessionEventKind::compare, on != 0 ? joint : -1);
    event.targetX = on != 0 ? nudge : 0.0;
    if (on == 0 && !comparison.on) return 1;
    if (on != 0 && joint < 0) return 0;  // (a joint of -1 would say "off")
    return input(event) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int webComparing() {
    return comparison.on ? 1 : 0;
}

// The copy's angle and momentum of joint i; 0 while there is none, or for an i that is no joint.
EMSCRIPTEN_KEEPALIVE double webTwinAngle(int i) {
    return comparison.on && i >= 0 && i < model().n ? comparison.twin.data.q[i] : 0.0;
}

EMSCRIPTEN_KEEPALIVE double webTwinMomentum(int i) {
    return comparison.on && i >= 0 && i < model().n ? comparison.twin.data.p[i] : 0.0;
}

// The distance between the two states (comparisonDistance); -1 while there is no comparison.
EMSCRIPTEN_KEEPALIVE double webDistance() {
    return comparisonDistance(page.run, comparison);
}

// Turns knob k of the comparison's copy alone (a Knob) to `value`; 1 if
// taken, 0 (changing nothing) while no comparison runs, for a value out of
// range or the one in force, or a session with no room left.
EMSCRIPTEN_KEEPALIVE int webCompareKnob(int k, double value) {
    SessionEvent event = inputOf(SessionEventKind::copyKnob, k);
    event.targetX = value;
    return input(event) ? 1 : 0;
}

// The copy's knob k; NaN while no comparison runs or for a k that is no knob.
EMSCRIPTEN_KEEPALIVE double webTwinKnob(int k) {
    return comparison.on && k >= 0 && k < knobCount ? knobValue(comparison.twin.settings, static_cast<Knob>(k))
                                                    : std::nan("");
}

// The comparison's joint and nudge, while one runs, for the page's controls.
EMSCRIPTEN_KEEPALIVE int webCompareJoint() {
    return comparison.joint;
}

EMSCRIPTEN_KEEPALIVE double webCompareNudge() {
    return comparison.nudge;
}

}  // extern "C"
