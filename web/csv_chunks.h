// The worker's side of long work (long_work.js): a FILE whose bytes go to the
// page in chunks, with how many steps they reach, and reports of the steps
// done. Only the worker's instance of the program calls these.
#pragma once

#include <emscripten.h>

#include <cstddef>
#include <cstdio>
#include <string>

// Posts bytes of the CSV to the page, with the steps they reach.
EM_JS(void, postCsvChunk, (const char* data, double length, double steps), {
    const chunk = HEAPU8.slice(data, data + length);
    postMessage({ chunk, done: steps }, [chunk.buffer]);
});

EM_JS(void, reportSteps, (double steps), {
    postMessage({ done: steps });
});

// A FILE (open) whose bytes are posted in chunks of chunkBytes, and the
// rest at fclose. The steps a chunk reaches are counted from its rows: the
// header, then a row every 100 steps.
class CsvChunks {
public:
    static constexpr std::size_t chunkBytes = 1 << 18;

    std::FILE* open() {
        pending.reserve(chunkBytes);
        cookie_io_functions_t io{};
        io.write = write;
        io.close = close;
        return fopencookie(this, "w", io);
    }

    // Whether every byte written went to the page (after fclose).
    bool handedOver() const { return closed && pending.empty(); }

private:
    std::string pending;
    double rows = 0.0;  // lines written, the header included
    bool closed = false;

    void post() {
        if (pending.empty()) return;
        postCsvChunk(pending.data(), static_cast<double>(pending.size()), rows > 1.0 ? (rows - 1.0) * 100.0 : 0.0);
        pending.clear();
    }

    static ssize_t write(void* cookie, const char* data, std::size_t size) {
        CsvChunks& self = *static_cast<CsvChunks*>(cookie);
        for (std::size_t k = 0; k < size; ++k)
            if (data[k] == '\n') self.rows += 1.0;
        self.pending.append(data, size);
        if (self.pending.size() >= chunkBytes) self.post();
        return static_cast<ssize_t>(size);
    }

    static int close(void* cookie) {
        CsvChunks& self = *static_cast<CsvChunks*>(cookie);
        self.post();
        self.closed = true;
        return 0;
    }
};
