// Card pictures drawn by worker threads while the scanning thread settles the
// cards in scan order: for every number of workers the sink gets the same
// names, PNG bytes and records in the same order, the progress stream ends at
// the same byte and the totals agree. The one-thread run is checked against
// writing each card the moment it is found. The scenes mix slow faces with
// plain cards, fail writes whose records come back later, and stop at 256.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "card/card_picture.h"
#include "extract/card_pool.h"
#include "extract/crc32.h"
#include "extract/driver.h"
#include "extract/options.h"
#include "extract/scene.h"
#include "png_builder.h"

namespace {

constexpr uint32_t tag = 0x00C0FFEE;

struct person {
    bytes data;  // the record
    int row;
    char sex;
    bytes face;  // as stored, decodable or not; empty for none
    bool decoy;  // a marker whose record would leave the scene: no match
};
person make(int row, char sex, const bytes& face, const std::string& text) {
    return {character(row, sex == 'F', face, text), row, sex, face, false};
}
person decoy() {
    bytes data;
    put_string8(data, marker_text(row_kk));
    put_string8(data, "x");
    put_le32(data, 0xFFFFFF);  // a face picture of 16 MiB
    return {data, row_kk, 'M', {}, true};
}

struct sink_call {
    std::string name;
    bytes png, record;
    bool ok;
    bool operator==(const sink_call&) const = default;
};
struct sink_log {
    std::set<size_t> failing;  // write calls, counted from 0, that fail
    std::vector<sink_call> calls;
};
bool log_write(void* to, const char* name, const uint8_t* png, size_t png_len, const uint8_t* rec, size_t n) {
    sink_log* log = static_cast<sink_log*>(to);
    const bool ok = log->failing.count(log->calls.size()) == 0;
    log->calls.push_back({name, bytes(png, png + png_len), bytes(rec, rec + n), ok});
    return ok;
}

struct scan_result {
    std::vector<sink_call> calls;
    std::string progress;
    scan_totals totals{};
};
scan_result scan(const bytes& file, const std::set<size_t>& failing, uint32_t workers) {
    scan_result r;
    uint32_t iend = 0;
    std::FILE* out = std::tmpfile();
    if (!out || !find_scene_data(file.data(), uint32_t(file.size()), &iend)) return r;
    sink_log log{failing, {}};
    scan_scene(file.data(), uint32_t(file.size()), iend, tag, marker_set::standard, workers,
               card_sink{log_write, &log}, out, &r.totals);
    r.calls = std::move(log.calls);
    std::rewind(out);
    char block[4096];
    for (size_t n; (n = std::fread(block, 1, sizeof block, out)) > 0;) r.progress.append(block, n);
    std::fclose(out);
    return r;
}

// What writing each card the moment it is found does: a record whose checksum
// a stored card has is skipped, any other is handed over numbered after the
// cards stored before it, and the 256th stored card ends the run. `taken`:
// the records (decoys too) the run got to.
struct expected_call {
    size_t record;
    uint32_t number;
    bool ok;
};
std::vector<expected_call> one_at_a_time(const std::vector<person>& records, const std::set<size_t>& failing,
                                         size_t* taken) {
    std::vector<expected_call> calls;
    std::vector<uint32_t> stored;
    for (*taken = 0; *taken < records.size() && stored.size() < max_cards; ++*taken) {
        const bytes& data = records[*taken].data;
        if (records[*taken].decoy) continue;
        const uint32_t crc = crc32(data.data(), data.size());
        if (std::count(stored.begin(), stored.end(), crc)) continue;
        calls.push_back({*taken, uint32_t(stored.size() + 1), failing.count(calls.size()) == 0});
        if (calls.back().ok) stored.push_back(crc);
    }
    return calls;
}

// The card picture of `p`, drawn on its own.
const bytes& picture_of(const person& p) {
    static std::map<std::pair<uint32_t, char>, bytes> drawn;  // by the face's checksum
    static const std::unique_ptr<card_canvas> canvas(new card_canvas);
    bytes& png = drawn[{crc32(p.face.data(), p.face.size()), p.sex}];
    if (png.empty()) {
        int len = 0;
        unsigned char* data = draw_card_png(canvas.get(), p.face.empty() ? nullptr : p.face.data(),
                                            uint32_t(p.face.size()), p.sex, &len);
        png.assign(data, data + len);
        std::free(data);
    }
    return png;
}

std::string card_name(const person& p, uint32_t number) {
    char name[64];
    std::snprintf(name, sizeof name, "%s_%c_%04X_%03u.png", p.row == row_rg ? "RG" : "KK", p.sex, tag, number);
    return name;
}

// The run of `records` with the write calls `failing` failing: with no worker,
// checked against one_at_a_time, and with each of `counts` workers the same.
// 64, the most, finds the most cards ahead.
void expect_one_run_for_every_count(const std::vector<person>& records, const std::set<size_t>& failing,
                                    std::initializer_list<uint32_t> counts = {1, 2, 3, 8, max_workers}) {
    std::vector<bytes> datas;
    for (const person& p : records) datas.push_back(p.data);
    scene_plan plan = plan_scene(datas);
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].decoy) plan.spans[i].second = plan.spans[i].first + 1;  // the scan moves on by a byte
    size_t taken = 0;
    const std::vector<expected_call> want = one_at_a_time(records, failing, &taken);
    const scan_result one = scan(plan.file, failing, 0);
    ASSERT_EQ(one.calls.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const person& p = records[want[i].record];
        ASSERT_EQ(one.calls[i].name, card_name(p, want[i].number)) << "call " << i;
        ASSERT_EQ(one.calls[i].ok, want[i].ok) << "call " << i;
        ASSERT_TRUE(one.calls[i].record == p.data) << "call " << i;
        ASSERT_TRUE(one.calls[i].png == picture_of(p)) << "call " << i;
    }
    const auto stored = std::count_if(want.begin(), want.end(), [](const expected_call& w) { return w.ok; });
    EXPECT_EQ(one.totals.written, stored);
    EXPECT_EQ(one.totals.matches, std::count_if(records.begin(), records.begin() + long(taken),
                                                 [](const person& p) { return !p.decoy; }));
    EXPECT_TRUE(one.progress == progress_text(plan, stored == max_cards ? taken : SIZE_MAX));

    for (uint32_t workers : counts) {
        SCOPED_TRACE(workers);
        const scan_result many = scan(plan.file, failing, workers);
        ASSERT_EQ(many.calls.size(), one.calls.size());
        for (size_t i = 0; i < one.calls.size(); ++i)
            ASSERT_TRUE(many.calls[i] == one.calls[i]) << "call " << i << ": " << many.calls[i].name;
        const auto parted =
            std::mismatch(many.progress.begin(), many.progress.end(), one.progress.begin(), one.progress.end());
        EXPECT_EQ(parted.first - many.progress.begin(), long(one.progress.size())) << many.progress.size();
        EXPECT_EQ(many.progress.size(), one.progress.size());
        EXPECT_EQ(many.totals.written, one.totals.written);
        EXPECT_EQ(many.totals.matches, one.totals.matches);
    }
}

const bytes small_face = encode_png(busy_picture(24, 30, 5)), other_face = encode_png(busy_picture(64, 48, 9));

}  // namespace

// Seven records fail their first write (more than the failed pictures kept),
// D1 its second too; all come back later, D1 again and again. Faces big and
// small, broken, or decoded again alone with the whole budget, beside plain
// cards; decoys after slow faces, which the scan passes while cards wait.
TEST(workers, failed_writes_met_again) {
    const bytes big = encode_png(busy_picture(150, 210, 3)),
                broken(other_face.begin(), other_face.begin() + 300);
    // Interlaced, its rows followed by 64 KiB more than its header promises.
    const png_format interlaced{16, 16, 8, 6, 1};
    deflate_block zeros{block_code::fixed, bytes(65536, 0), {}};
    for (size_t at = 1; at + 258 <= zeros.raw.size(); at += 258) zeros.copies.push_back({at, 258, 0});
    const bytes greedy =
        png_with_stream(interlaced, zlib_blocks({{block_code::stored, png_raw_rows(interlaced, 7), {}}, zeros}));
    ASSERT_FALSE(picture_of(make(row_kk, 'F', greedy, "")) == picture_of(make(row_kk, 'F', {}, ""))) << "not a face";

    const person d[] = {make(row_kk, 'F', big, "d0"),        make(row_kk, 'M', {}, "d1"),
                        make(row_kk, 'F', small_face, "d2"), make(row_rg, 'M', other_face, "d3"),
                        make(row_kk, 'M', big, "d4"),        make(row_kk, 'F', greedy, "d5"),
                        make(row_kk, 'M', broken, "d6"),     make(row_kk, 'F', small_face, "d7"),
                        make(row_kk, 'M', {}, "d8"),         make(row_rg, 'F', big, "d9")};
    std::vector<person> records;
    for (int i : {0, -1, 1, 2, 3, 4, -1, 5, -1, 6, 7, 8, 9, 1, 0, 2, 1, 3, 4, 1, 5, 6, 1, 7, 8, 1, 9, 1, 2, 1})
        records.push_back(i < 0 ? decoy() : d[i]);
    expect_one_run_for_every_count(records, {1, 2, 3, 4, 5, 6, 7, 10});
}

// B shares A's checksum but not its face: after A's failed write B is stored
// with a picture of its own, and then A is a repeat of B.
TEST(workers, a_checksum_shared_by_other_faces) {
    sp_record b{.text = "b", .picture1 = other_face, .final_section = final_with_sex(1)};
    put_le32(b.final_section, 0);
    const person a = make(row_kk, 'F', small_face, "a");
    person same_crc{build_sp_record(b), row_kk, 'F', other_face, false};
    force_crc32(same_crc.data, crc32(a.data.data(), a.data.size()));
    ASSERT_EQ(crc32(same_crc.data.data(), same_crc.data.size()), crc32(a.data.data(), a.data.size()));
    expect_one_run_for_every_count({a, same_crc, make(row_kk, 'M', {}, "c"), a, same_crc}, {0});
}

// 302 records; four failures first, so that the 256th stored card is call 260
// (the 256th success would have been call 259, which fails too), and 41
// records follow it, copies of failed ones among them. While record 4's slow
// face holds the order, the failed pictures kept and the cards found ahead
// fill every picture slot. The longest test here, a card a record: one worker,
// some and the most.
TEST(workers, the_256th_stored_card_ends_the_run) {
    const bytes big = encode_png(busy_picture(150, 210, 3));
    std::vector<person> records;
    for (int i = 0; i < 300; ++i) {
        const bytes& face = i == 4 ? big : i % 25 == 3 ? small_face : bytes();
        records.push_back(make(row_kk, i % 3 ? 'F' : 'M', face, "n" + std::to_string(i)));
        const person copy = records[i == 270 ? 3 : 0];
        if (i == 270 || i == 280) records.push_back(copy);
    }
    const std::set<size_t> failing = {0, 1, 2, 3, 259};
    size_t taken = 0;
    const std::vector<expected_call> want = one_at_a_time(records, failing, &taken);
    ASSERT_EQ(std::make_pair(want.size(), taken), std::make_pair(size_t(261), size_t(261)));
    ASSERT_EQ(want.back().number, 256u);
    expect_one_run_for_every_count(records, failing, {1, 8, max_workers});
}

// CARDLIFT_WORKERS: plain decimal digits, capped; anything else the fallback.
TEST(workers, count_from_the_variable) {
    const struct {
        const char* value;
        uint32_t most, count;
    } cases[] = {
        {nullptr, 64, 99}, {"", 64, 99}, {"0", 64, 0}, {"1", 64, 1}, {"007", 64, 7}, {"64", 64, 64},
        {"65", 64, 64}, {"5", 4, 4}, {"4", 4, 4}, {"4294967297", 64, 64},  // 2^32 + 1 would wrap to 1
        {"00000000000000000000000000000000000000000003", 64, 3},
        {"1000000000000000000000000000000000000000000000000000000000000000000000001", 64, 64},
        {"+3", 64, 99}, {"-1", 64, 99}, {"-0", 64, 99}, {" 3", 64, 99}, {"3 ", 64, 99}, {"3x", 64, 99},
        {"0x10", 64, 99}, {"1e2", 64, 99}, {"3\n", 64, 99},
    };
    for (const auto& c : cases)
        EXPECT_EQ(worker_count_from(c.value, c.most, 99), c.count) << (c.value ? c.value : "(unset)");
}
