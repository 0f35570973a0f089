#include "stream_check.h"

#include <cstdio>
#include <cstring>

#include "child_run.h"

namespace {

// The expected output, produced lazily by the obvious loop: one "\r%2u%%" per
// scan position with position * 100 / size, then the summary for no cards.
struct reference_stream {
    uint64_t size = 0;
    uint64_t pos = 0;
    bool finished = false;
    std::string pending;
    size_t offset = 0;

    void refill(size_t want) {
        pending.erase(0, offset);
        offset = 0;
        while (pending.size() < want && !finished) {
            if (pos < size) {
                char unit[16];
                const int n = std::snprintf(unit, sizeof unit, "\r%2u%%", unsigned(pos * 100 / size));
                pending.append(unit, size_t(n));
                ++pos;
            } else {
                pending += "\rNo characters found!\r\n";
                finished = true;
            }
        }
    }
};

struct comparison {
    reference_stream expected;
    stream_verdict verdict;
    bool differs = false;
};

void compare_piece(void* context, const char* data, size_t length) {
    comparison& c = *static_cast<comparison*>(context);
    if (!c.differs) {
        c.expected.refill(length);
        const size_t available = c.expected.pending.size() - c.expected.offset;
        const char* want = c.expected.pending.data() + c.expected.offset;
        const size_t common = available < length ? available : length;
        if (std::memcmp(want, data, common) != 0 || common < length) {
            size_t i = 0;
            while (i < common && want[i] == data[i]) ++i;
            c.differs = true;
            c.verdict.first_difference = c.verdict.bytes_seen + i;
        }
        c.expected.offset += common;
    }
    c.verdict.bytes_seen += length;
}

}  // namespace

stream_verdict check_marker_free_stream(const std::string& tool, const std::string& scene,
                                        uint64_t size, uint64_t iend, bool may_fail) {
    comparison c;
    c.expected.size = size;
    c.expected.pos = iend;
    const output_reader reader{compare_piece, &c};
    const child_result run = run_child({tool, scene}, ".", &reader);
    if (!c.differs) {
        // Output that stops early is a difference too.
        c.expected.refill(1);
        if (c.expected.offset < c.expected.pending.size()) {
            c.differs = true;
            c.verdict.first_difference = c.verdict.bytes_seen;
        }
    }
    c.verdict.identical = (run.ok || may_fail) && !c.differs;
    return c.verdict;
}
