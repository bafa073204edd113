#include "session.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <unordered_map>

#include "builtin_figures.h"
#include "comparison.h"
#include "figure_model.h"
#include "hand_pull.h"
#include "model_file.h"
#include "key_controls.h"
#include "physics_settings.h"

namespace {

constexpr struct {
    const char* name;
    int key;
} keyNames[] = {{"left", keyLeft}, {"right", keyRight}, {"up", keyUp}, {"down", keyDown}};

// One line's fields, split at single spaces.
class Fields {
public:
    explicit Fields(std::string_view line) {
        std::size_t start = 0;
        while (count_ < maxFields) {
            const std::size_t space = line.find(' ', start);
            field_[count_++] = line.substr(start, space == std::string_view::npos ? line.size() - start : space - start);
            if (space == std::string_view::npos) return;
            start = space + 1;
        }
        tooMany_ = true;
    }
    std::size_t count() const { return tooMany_ ? maxFields + 1 : count_; }
    std::string_view operator[](std::size_t i) const { return field_[i]; }

private:
    static constexpr std::size_t maxFields = 7;
    std::string_view field_[maxFields];
    std::size_t count_ = 0;
    bool tooMany_ = false;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A step: decimal digits only, at most maxSessionStep.
bool parseStep(std::int64_t& out, std::string_view text) {
    if (text.empty() || text.size() > 13) return false;
    std::int64_t value = 0;
    for (const char c : text) {
        if (!isDigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    if (value > maxSessionStep) return false;
    out = value;
    return true;
}

// A finite decimal number: [-]digits[.digits][e[+-]digits], nothing else
// (no hexadecimal, no inf or nan, no spaces), at most 40 characters.
bool parseNumber(double& out, std::string_view text) {
    if (text.empty() || text.size() > 40) return false;
    std::size_t i = 0;
    if (text[i] == '-') ++i;
    const std::size_t digitsStart = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    std::size_t digits = i - digitsStart;
    if (i < text.size() && text[i] == '.') {
        ++i;
        const std::size_t fractionStart = i;
        while (i < text.size() && isDigit(text[i])) ++i;
        digits += i - fractionStart;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        const std::size_t exponentStart = i;
        while (i < text.size() && isDigit(text[i])) ++i;
        if (i == exponentStart) return false;
    }
    if (i != text.size()) return false;
    char buffer[48];
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    const double value = std::strtod(buffer, nullptr);
    if (!std::isfinite(value)) return false;
    out = value;
    return true;
}

template <typename Table>
int findName(const Table& table, std::string_view name) {
    for (std::size_t i = 0; i < std::size(table); ++i)
        if (name == table[i].name) return static_cast<int>(i);
    return -1;
}

// The figure's segments by name.
class SegmentNames {
public:
    explicit SegmentNames(const FigureModel& model) : model_(model) {
        for (int i = 0; i < model.n; ++i) index_.emplace(model.segmentName[i], i);
    }
    int find(std::string_view name) const {
        const auto it = index_.find(std::string(name));
        return it == index_.end() ? -1 : it->second;
    }
    std::string examples() const {
        const std::vector<std::string>& names = model_.segmentName;
        return names.size() == 1 ? names[0] : names.front() + ", ..., " + names.back();
    }

private:
    const FigureModel& model_;
    std::unordered_map<std::string, int> index_;
};

// The figure line's text for `figure`: a built-in's name where the model is
// exactly that built-in, else the model itself on one line.
std::string figureLine(const FigureModel& figure) {
    if (looksLikeBuiltinName(figure.name)) {
        std::string error;
        const auto builtin = builtinFigure(figure.name, error);
        if (builtin != nullptr && (builtin.get() == &figure || writeFigureModel(*builtin, true) == writeFigureModel(figure, true)))
            return "figure " + figure.name;
    }
    return "model " + writeFigureModel(figure, true);
}

// Reads one event line (after its step) into `event`; on failure `error`
// says what is wrong, without the line number.
// What the lines before have left in force: a hand that holds, a comparison that runs.
struct ReaderState {
    bool grabbing = false;
    bool comparing = false;
};

bool readEvent(SessionEvent& event, std::string& error, const Fields& f, ReaderState& state,
               const SegmentNames& segments, bool namesFigure) {
    bool& grabbing = state.grabbing;
    const std::string_view kind = f[1];
    auto wantFields = [&](std::size_t n, const char* form) {
        if (f.count() == n) return true;
        error = std::string("'") + std::string(kind) + "' wants " + form;
        return false;
    };
    auto number = [&](double& out, std::string_view text, const char* what, double limit) {
        if (!parseNumber(out, text)) {
            error = std::string(what) + " is not a finite decimal number: '" + std::string(text) + "'";
            return false;
        }
        if (std::fabs(out) > limit) {
            error = std::string(what) + " " + std::string(text) + " is out of range (-" +
                    std::to_string(static_cast<int>(limit)) + " to " + std::to_string(static_cast<int>(limit)) + ")";
            return false;
        }
        return true;
    };

    if (kind == "key") {
        event.kind = SessionEventKind::key;
        if (!wantFields(3, "STEP key left|right|up|down")) return false;
        const int index = findName(keyNames, f[2]);
        if (index < 0) {
            error = "unknown key '" + std::string(f[2]) + "' (left, right, up or down)";
            return false;
        }
        event.code = keyNames[index].key;
        return true;
    }
    if (kind == "grab") {
        event.kind = SessionEventKind::grab;
        if (!wantFields(7, "STEP grab SEGMENT HELD_X HELD_Y TARGET_X TARGET_Y")) return false;
        if (grabbing) {
            error = "a grab while the hand already holds the figure";
            return false;
        }
        event.code = segments.find(f[2]);
        if (event.code < 0) {
            error = "unknown segment '" + std::string(f[2]) + "' (" + segments.examples() + ")";
            return false;
        }
        if (!number(event.heldX, f[3], "the held point's x", handHeldReach) ||
            !number(event.heldY, f[4], "the held point's y", handHeldReach) ||
            !number(event.targetX, f[5], "the target's x", handTargetReach) ||
            !number(event.targetY, f[6], "the target's y", handTargetReach))
            return false;
        grabbing = true;
        return true;
    }
    if (kind == "move") {
        event.kind = SessionEventKind::move;
        if (!wantFields(4, "STEP move TARGET_X TARGET_Y")) return false;
        if (!grabbing) {
            error = "a move while the hand holds nothing";
            return false;
        }
        return number(event.targetX, f[2], "the target's x", handTargetReach) &&
               number(event.targetY, f[3], "the target's y", handTargetReach);
    }
    if (kind == "release") {
        event.kind = SessionEventKind::release;
        if (!wantFields(2, "STEP release")) return false;
        if (!grabbing) {
            error = "a release while the hand holds nothing";
            return false;
        }
        grabbing = false;
        return true;
    }
    if (kind == "knob" || kind == "copy-knob") {
        const bool copy = kind == "copy-knob";
        event.kind = copy ? SessionEventKind::copyKnob : SessionEventKind::knob;
        if (!wantFields(4, copy ? "STEP copy-knob gravity|stiffness|damping|torque VALUE"
                                : "STEP knob gravity|stiffness|damping|torque VALUE"))
            return false;
        if (copy && !state.comparing) {
            error = "a copy's knob while no comparison runs";
            return false;
        }
        int index = -1;
        for (int k = 0; k < knobCount; ++k)
            if (f[2] == knobInfo[k].name) index = k;
        if (index < 0) {
            error = "unknown knob '" + std::string(f[2]) + "' (gravity, stiffness, damping or torque)";
            return false;
        }
        event.code = index;
        const KnobInfo& knob = knobInfo[index];
        if (!parseNumber(event.targetX, f[3])) {
            error = "the " + std::string(knob.name) + " is not a finite decimal number: '" + std::string(f[3]) + "'";
            return false;
        }
        if (!knobValueAllowed(static_cast<Knob>(index), event.targetX)) {
            char range[96];
            std::snprintf(range, sizeof range, " (%g to %g)", knob.low, knob.high);
            error = "the " + std::string(knob.name) + " " + std::string(f[3]) + " is out of range" + range;
            return false;
        }
        return true;
    }
    if (kind == "reset") {
        event.kind = SessionEventKind::reset;
        if (!wantFields(2, "STEP reset")) return false;
        grabbing = false;  // a reset lets go of the figure
        return true;
    }
    if (kind == "compare") {
        event.kind = SessionEventKind::compare;
        if (!namesFigure) {
            error = "a session that compares is of version 2 ('" + std::string(figureSessionFormatLine) + "')";
            return false;
        }
        if (f.count() == 3 && f[2] == "off") {
            event.code = -1;
            state.comparing = false;
            return true;
        }
        if (!wantFields(4, "STEP compare SEGMENT NUDGE or STEP compare off")) return false;
        event.code = segments.find(f[2]);
        if (event.code < 0) {
            error = "unknown segment '" + std::string(f[2]) + "' (" + segments.examples() + ")";
            return false;
        }
        if (!parseNumber(event.targetX, f[3]) || !nudgeAllowed(event.targetX)) {
            error = "the nudge '" + std::string(f[3]) + "' is not 0, nor from 1e-12 to 0.1 rad either way";
            return false;
        }
        state.comparing = true;
        return true;
    }
    error = "unknown event '" + std::string(kind) + "' (key, grab, move, release, knob, reset, compare, copy-knob or end)";
    return false;
}

void appendNumber(std::string& out, double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, " %.17g", value);
    out += buffer;
}

}  // namespace

bool readSession(Session& session, std::string& error, const char* text, std::size_t length) {
    session.events.clear();
    session.endStep = 0;
    session.figure = nullptr;
    if (length > maxSessionBytes) {
        error = "the session is larger than 50 MB";
        return false;
    }
    const std::string_view all(text, length);
    std::size_t lineStart = 0;
    std::size_t lineNumber = 0;
    ReaderState state;
    bool ended = false;
    bool namesFigure = false;  // version 2: the second line names the figure
    std::unique_ptr<SegmentNames> segments;
    std::int64_t lastStep = 0;
    auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };

    while (lineStart < all.size()) {
        std::size_t lineEnd = all.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = all.size();
        std::string_view line = all.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // a file saved with CR LF
        if (line.find('\0') != std::string_view::npos) return fail("a NUL byte");

        if (lineNumber == 1) {
            namesFigure = line == figureSessionFormatLine;
            if (line != sessionFormatLine && !namesFigure) {
                if (line.substr(0, 19) == "marionette-session ")
                    return fail("version '" + std::string(line.substr(19, 20)) + "' is not one this program reads (1 or 2)");
                return fail("not a marionette session (the first line must be '" + std::string(sessionFormatLine) + "')");
            }
            if (!namesFigure) segments = std::make_unique<SegmentNames>(*marionetteFigure());
            continue;
        }
        if (lineNumber == 2 && namesFigure) {
            std::string what;
            if (line.substr(0, 7) == "figure ")
                session.figure = builtinFigure(std::string(line.substr(7)), what);
            else if (line.substr(0, 6) == "model ") {
                FigureModel model;
                if (readFigureModel(model, what, line.data() + 6, line.size() - 6))
                    session.figure = std::make_shared<const FigureModel>(std::move(model));
                else
                    what = "the model: " + what;
            } else
                what = "a version 2 session names its figure here ('figure NAME' or 'model JSON')";
            if (session.figure == nullptr) return fail(what);
            segments = std::make_unique<SegmentNames>(*session.figure);
            continue;
        }
        if (ended) return fail("a line after the end line");
        if (line.empty()) return fail("an empty line");

        const Fields f(line);
        SessionEvent event;
        if (!parseStep(event.step, f[0]))
            return fail("the step '" + std::string(f[0].substr(0, 20)) + "' is not a whole number from 0 to 10^12");
        if (event.step < lastStep)
            return fail("step " + std::to_string(event.step) + " goes back from step " + std::to_string(lastStep));
        lastStep = event.step;
        if (f.count() < 2) return fail("a step without an event");
        if (f[1] == "end") {
            if (f.count() != 2) return fail("'end' wants STEP end");
            session.endStep = event.step;
            ended = true;
            continue;
        }
        if (session.events.size() >= maxSessionEvents) return fail("more than 10^6 events");
        std::string what;
        if (!readEvent(event, what, f, state, *segments, namesFigure)) return fail(what);
        session.events.push_back(event);
    }
    if (lineNumber == 0) {
        error = "line 1: an empty session";
        return false;
    }
    if (!ended) {
        ++lineNumber;
        return fail("the session ends without its end line (cut short?)");
    }
    return true;
}

void appendSessionEvent(std::string& out, const SessionEvent& e, const FigureModel& figure) {
    out += std::to_string(e.step);
    switch (e.kind) {
        case SessionEventKind::key:
            out += " key ";
            for (const auto& entry : keyNames)
                if (entry.key == e.code) out += entry.name;
            break;
        case SessionEventKind::grab:
            out += " grab ";
            out += e.code >= 0 && e.code < figure.n ? figure.segmentName[e.code] : "?";
            appendNumber(out, e.heldX);
            appendNumber(out, e.heldY);
            appendNumber(out, e.targetX);
            appendNumber(out, e.targetY);
            break;
        case SessionEventKind::move:
            out += " move";
            appendNumber(out, e.targetX);
            appendNumber(out, e.targetY);
            break;
        case SessionEventKind::release:
            out += " release";
            break;
        case SessionEventKind::knob:
        case SessionEventKind::copyKnob:
            out += e.kind == SessionEventKind::knob ? " knob " : " copy-knob ";
            out += knobInfo[e.code].name;
            appendNumber(out, e.targetX);
            break;
        case SessionEventKind::reset:
            out += " reset";
            break;
        case SessionEventKind::compare:
            out += " compare ";
            if (e.code < 0 || e.code >= figure.n) {
                out += "off";
                break;
            }
            out += figure.segmentName[e.code];
            appendNumber(out, e.targetX);
            break;
    }
    out += '\n';
}

bool sessionCompares(const Session& session) {
    for (const SessionEvent& e : session.events)
        if (e.kind == SessionEventKind::compare) return true;
    return false;
}

bool sessionNamesFigure(const Session& session) {
    return (session.figure != nullptr && session.figure != marionetteFigure()) || sessionCompares(session);
}

std::string writeSession(const Session& session) {
    const bool namesFigure = sessionNamesFigure(session);
    const FigureModel& figure = session.figure != nullptr ? *session.figure : *marionetteFigure();
    std::string out = namesFigure ? figureSessionFormatLine : sessionFormatLine;
    out += '\n';
    if (namesFigure) {
        out += figureLine(figure);
        out += '\n';
    }
    for (const SessionEvent& e : session.events) appendSessionEvent(out, e, figure);
    out += std::to_string(session.endStep);
    out += " end\n";
    return out;
}
