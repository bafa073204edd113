// Sessions in their text form: every event survives writing and reading to
// the bit, and every kind of damaged text is refused with its line named.
#include "session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "hand_pull.h"
#include "key_controls.h"

namespace {

bool read(Session& session, std::string& error, const std::string& text) {
    return readSession(session, error, text.data(), text.size());
}

TEST(SessionTest, WrittenSessionsReadBackBitForBit) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> reach(-handTargetReach, handTargetReach);
    std::uniform_real_distribution<double> held(-handHeldReach, handHeldReach);
    Session session;
    std::int64_t step = 0;
    bool grabbing = false, comparing = false;
    for (int n = 0; n < 2000; ++n) {
        SessionEvent e;
        step += static_cast<std::int64_t>(random() % 3);  // several events of one step too
        e.step = step;
        switch (random() % 6) {
            case 0:
                e.kind = SessionEventKind::key;
                e.code = keyLeft + static_cast<int>(random() % 4);
                break;
            case 1:
                e.kind = grabbing ? SessionEventKind::move : SessionEventKind::grab;
                e.code = static_cast<int>(random() % 13);
                if (!grabbing) {
                    e.heldX = held(random);
                    e.heldY = held(random);
                }
                e.targetX = reach(random);
                e.targetY = n % 7 == 0 ? -0.0 : reach(random);
                grabbing = true;
                break;
            case 2:
                e.kind = grabbing ? SessionEventKind::release : SessionEventKind::reset;
                grabbing = false;
                break;
            case 3:  // a comparison begun (a session that compares is of version 2) or ended, or its copy's knob
                if (comparing && random() % 2 == 0) {
                    e.kind = SessionEventKind::copyKnob;
                    e.code = static_cast<int>(random() % 4);
                    e.targetX = std::ldexp(static_cast<double>(random() % 1000), -8);
                    break;
                }
                e.kind = SessionEventKind::compare;
                e.code = static_cast<int>(random() % 14) - 1;
                e.targetX = e.code < 0 ? 0.0 : std::ldexp(static_cast<double>(random() % 1000) - 500.0, -20 - static_cast<int>(random() % 20));
                comparing = e.code >= 0;
                break;
            default:
                e.kind = SessionEventKind::knob;
                e.code = static_cast<int>(random() % 4);
                e.targetX = std::ldexp(static_cast<double>(random() % 1000), -8);  // 0 to 3.9
                break;
        }
        session.events.push_back(e);
    }
    session.endStep = step + 5;

    const std::string text = writeSession(session);
    Session back;
    std::string error;
    ASSERT_TRUE(read(back, error, text)) << error;
    ASSERT_EQ(back.events.size(), session.events.size());
    EXPECT_EQ(back.endStep, session.endStep);
    for (std::size_t i = 0; i < back.events.size(); ++i) {
        const SessionEvent &a = session.events[i], &b = back.events[i];
        EXPECT_EQ(a.step, b.step);
        EXPECT_EQ(a.kind, b.kind);
        if (a.kind != SessionEventKind::move && a.kind != SessionEventKind::reset &&
            a.kind != SessionEventKind::release) {
            EXPECT_EQ(a.code, b.code) << i;
        }
        for (auto field : {&SessionEvent::heldX, &SessionEvent::heldY, &SessionEvent::targetX, &SessionEvent::targetY})
            EXPECT_EQ(std::memcmp(&(a.*field), &(b.*field), sizeof(double)), 0) << "event " << i;
    }
    EXPECT_EQ(writeSession(back), text);
}

TEST(SessionTest, DamagedSessionsAreRefusedWithTheirLine) {
    const std::string head = "marionette-session 1\n";
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {"", "line 1: an empty session"},
        {"marionette-session 3\n0 end\n", "line 1: version '3' is not one this program reads (1 or 2)"},
        {"marionette-session 2\nfigure chain:0\n0 end\n", "line 2: 'chain:0': N must be"},
        {"marionette-session 2\nmodel {}\n0 end\n", "line 2: the model: "},
        {"marionette-session 2\nfigure chain:2\n0 grab torso 0 0 0 0\n1 end\n", "line 3: unknown segment 'torso' (link0, ..., link1)"},
        {"step,t,q0\n", "line 1: not a marionette session"},
        {head + "5 key down\n", "line 3: the session ends without its end line"},
        {head + "5 key down\n3 key up\n9 end\n", "line 3: step 3 goes back from step 5"},
        {head + "9 end\n10 key up\n", "line 3: a line after the end line"},
        {head + "0 key sideways\n1 end\n", "line 2: unknown key 'sideways'"},
        {head + "0 grab leftEar 0 0 0 0\n1 end\n", "line 2: unknown segment 'leftEar'"},
        {head + "0 grab rightHand 1 0 nan 0\n1 end\n", "line 2: the target's x is not a finite decimal number: 'nan'"},
        {head + "0 grab rightHand 1 0 1e999 0\n1 end\n", "line 2: the target's x is not a finite"},
        {head + "0 grab rightHand 0x1p3 0 1 0\n1 end\n", "line 2: the held point's x is not a finite"},
        {head + "0 grab rightHand 1 0 1001 0\n1 end\n", "line 2: the target's x 1001 is out of range (-1000 to 1000)"},
        {head + "0 grab torso 1 0 1 0\n1 grab torso 1 0 1 0\n2 end\n", "line 3: a grab while the hand already"},
        {head + "0 move 1 2\n1 end\n", "line 2: a move while the hand holds nothing"},
        {head + "0 grab torso 1 0 1 0\n1 reset\n2 release\n3 end\n", "line 4: a release while the hand holds"},
        {head + "0 knob gravity 25.5\n1 end\n", "line 2: the gravity 25.5 is out of range (0 to 25)"},
        {head + "0 knob gravity -0.1\n1 end\n", "line 2: the gravity -0.1 is out of range"},
        {head + "0 knob friction 1\n1 end\n", "line 2: unknown knob 'friction'"},
        {head + "-1 key up\n1 end\n", "line 2: the step '-1' is not a whole number"},
        {head + "1000000000001 key up\n1 end\n", "line 2: the step '1000000000001' is not"},
        {head + "0 key  up\n1 end\n", "line 2: 'key' wants STEP key left|right|up|down"},
        {head + "0 key up extra\n1 end\n", "line 2: 'key' wants"},
        {head + "\n1 end\n", "line 2: an empty line"},
        {head + "0 jump\n1 end\n", "line 2: unknown event 'jump'"},
        {head + std::string("0 key u\0p\n1 end\n", 14), "line 2: a NUL byte"},
        {head + "7\n9 end\n", "line 2: a step without an event"},
        {head + "0 compare torso 1e-9\n1 end\n", "line 2: a session that compares is of version 2"},
        {"marionette-session 2\nfigure chain:2\n0 compare link1 0.2\n1 end\n", "line 3: the nudge '0.2' is not 0, nor"},
        {"marionette-session 2\nfigure chain:2\n0 compare link1 1e-13\n1 end\n", "line 3: the nudge '1e-13'"},
        {"marionette-session 2\nfigure chain:2\n0 compare link2 0\n1 end\n", "line 3: unknown segment 'link2'"},
        {"marionette-session 2\nfigure chain:2\n0 compare off 1\n1 end\n", "line 3: unknown segment 'off'"},
        {"marionette-session 2\nfigure chain:2\n0 compare link1 0\n1 compare off\n2 copy-knob gravity 1\n3 end\n",
         "line 5: a copy's knob while no comparison runs"},
    };
    for (const auto& c : cases) {
        Session session;
        std::string error;
        EXPECT_FALSE(read(session, error, c.text)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << "got: " << error << "\nfor: " << c.text;
    }

    // more than 10^6 events, each line well-formed
    std::string many = head;
    for (int i = 0; i <= 1000000; ++i) many += "0 key up\n";
    many += "0 end\n";
    Session session;
    std::string error;
    EXPECT_FALSE(read(session, error, many));
    EXPECT_EQ(error, "line 1000002: more than 10^6 events");
}

TEST(SessionTest, CarriageReturnsAndAMissingLastNewlineAreAccepted) {
    Session session;
    std::string error;
    ASSERT_TRUE(read(session, error, "marionette-session 1\r\n3 key down\r\n4 knob torque 150\r\n8 end")) << error;
    ASSERT_EQ(session.events.size(), 2u);
    EXPECT_EQ(session.events[1].targetX, 150.0);
    EXPECT_EQ(session.endStep, 8);
}

}  // namespace
