// Whether the tool's whole standard output for a scene without markers is the
// progress stream a plain formatted loop prints, then the closing line.
#pragma once

#include <cstdint>
#include <string>

struct stream_verdict {
    bool identical = false;
    uint64_t bytes_seen = 0;     // bytes of output received
    uint64_t first_difference = 0;  // offset of the first mismatch, when not identical
};

// Runs `tool` on `scene` (`size` bytes, IEND chunk at `iend`) and compares;
// the run must end with status 0 unless it `may_fail` (a scene that looks cut
// short, whose notice is no matter here).
stream_verdict check_marker_free_stream(const std::string& tool, const std::string& scene,
                                        uint64_t size, uint64_t iend, bool may_fail = false);
