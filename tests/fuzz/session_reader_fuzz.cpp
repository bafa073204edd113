// libFuzzer target over readSession. Build and run with run_fuzz.sh
// session_reader. Besides crashes and undefined behaviour it checks what the
// reader promises: a refusal names a line; a session it accepts has steps that
// never go back and none past its end, and writing it and reading that text
// again gives the same text.
#include "session.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Session session;
    std::string error;
    if (!readSession(session, error, reinterpret_cast<const char*>(data), size)) {
        if (error.rfind("line ", 0) != 0 && error != "the session is larger than 50 MB") std::abort();
        return 0;
    }
    std::int64_t last = 0;
    for (const SessionEvent& e : session.events) {
        if (e.step < last || e.step > session.endStep) std::abort();
        last = e.step;
    }
    const std::string text = writeSession(session);
    Session again;
    if (!readSession(again, error, text.data(), text.size())) std::abort();
    if (writeSession(again) != text) std::abort();
    return 0;
}
