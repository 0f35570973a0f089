// Pictures drawn by worker threads, cards settled in scan order: every worker
// count gives the sink the same calls, the same progress bytes and totals as
// the inline run, which is checked against writing each card when found.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "card/card_picture.h"
#include "run/card_pool.h"
#include "scene/crc32.h"
#include "run/driver.h"
#include "cli/options.h"
#include "scene/scene.h"
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
person decoy() {  // a face picture of 16 MiB
    bytes data;
    put_string8(data, marker_text(row_kk));
    put_string8(data, "x");
    put_le32(data, 0xFFFFFF);
    return {data, row_kk, 'M', {}, true};
}

struct sink_call {
    std::string name;
    bytes png, record;
    bool ok;
    bool operator==(const sink_call&) const = default;
};
struct scan_result {
    std::set<size_t> failing;  // write calls, counted from 0, that fail
    std::vector<sink_call> calls;
    std::string progress;
    std::string messages;  // what the scan told on its error stream
    scan_totals totals{};
};
bool log_write(void* to, const char* name, const uint8_t* png, size_t png_len, const uint8_t* rec, size_t n,
               store_failure* why) {
    scan_result* r = static_cast<scan_result*>(to);
    const bool ok = r->failing.count(r->calls.size()) == 0;
    r->calls.push_back({name, bytes(png, png + png_len), bytes(rec, rec + n), ok});
    *why = store_failure{false, "planted failure"};
    return ok;
}
scan_result scan(const bytes& file, const std::set<size_t>& failing, uint32_t workers, uint32_t share_index = 0,
                 uint32_t share_count = 1) {
    scan_result r{failing};
    uint32_t iend = 0;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    if (!out || !err || !find_scene_data(file.data(), uint32_t(file.size()), &iend)) return r;
    scan_settings settings{marker_set::standard, workers, false, err};
    settings.share_index = share_index;
    settings.share_count = share_count;
    scan_scene(file.data(), uint32_t(file.size()), iend, tag, settings, card_sink{log_write, &r}, out, &r.totals);
    std::rewind(err);
    for (int c; (c = std::fgetc(err)) != EOF;) r.messages += char(c);
    std::fclose(err);
    std::rewind(out);
    char block[4096];
    for (size_t n; (n = std::fread(block, 1, sizeof block, out)) > 0;) r.progress.append(block, n);
    std::fclose(out);
    return r;
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

// Writing each card when found: a stored card's checksum is skipped, any other
// numbered after the cards tried before it, so a failed card leaves its number
// behind; the 256th stored card ends the run.
scan_result one_at_a_time(const std::vector<person>& records, const std::set<size_t>& failing,
                          const scene_plan& plan) {
    scan_result r{failing};
    std::vector<uint32_t> stored;
    size_t taken = 0;
    for (; taken < records.size() && stored.size() < max_cards; ++taken) {
        const person& p = records[taken];
        if (p.decoy) continue;
        ++r.totals.matches;
        const uint32_t crc = crc32(p.data.data(), p.data.size());
        if (std::count(stored.begin(), stored.end(), crc)) {
            ++r.totals.duplicates;
            continue;
        }
        const std::string name = card_name(p, uint32_t(r.calls.size() + 1));
        r.calls.push_back({name, picture_of(p), p.data, failing.count(r.calls.size()) == 0});
        if (r.calls.back().ok) stored.push_back(crc);
        else r.messages += "cannot write " + name + ": planted failure\r\n";
    }
    r.totals.written = uint32_t(stored.size());
    r.totals.unwritten = uint32_t(r.calls.size() - stored.size());
    r.progress = progress_text(plan, stored.size() == max_cards ? taken : SIZE_MAX);
    return r;
}

// The run of `records` inline and with each of `counts` workers (one, more than
// the cores, the most: the most cards ahead) against one_at_a_time, returned.
scan_result expect_one_run_for_every_count(const std::vector<person>& records, const std::set<size_t>& failing,
                                           std::initializer_list<uint32_t> counts = {1, 3, max_workers}) {
    std::vector<bytes> datas;
    for (const person& p : records) datas.push_back(p.data);
    scene_plan plan = plan_scene(datas);
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].decoy) plan.spans[i].second = plan.spans[i].first + 1;  // the scan moves on by a byte
    const scan_result want = one_at_a_time(records, failing, plan);
    std::vector<uint32_t> all{0};
    all.insert(all.end(), counts);
    for (uint32_t workers : all) {
        SCOPED_TRACE(workers);
        const scan_result got = scan(plan.file, failing, workers);
        EXPECT_EQ(got.calls.size(), want.calls.size());
        for (size_t i = 0; i < std::min(got.calls.size(), want.calls.size()); ++i)
            if (!(got.calls[i] == want.calls[i])) {
                ADD_FAILURE() << "call " << i << ": " << got.calls[i].name << ", ok " << got.calls[i].ok;
                break;
            }
        EXPECT_TRUE(got.progress == want.progress)
            << "parts at " << std::mismatch(got.progress.begin(), got.progress.end(), want.progress.begin(),
                                            want.progress.end()).first - got.progress.begin();
        EXPECT_EQ(got.totals.written, want.totals.written);
        EXPECT_EQ(got.totals.matches, want.totals.matches);
        EXPECT_EQ(got.totals.duplicates, want.totals.duplicates);
        EXPECT_EQ(got.totals.unwritten, want.totals.unwritten);
        EXPECT_EQ(got.messages, want.messages);
    }
    return want;
}

const bytes small_face = encode_png(busy_picture(24, 30, 5)), other_face = encode_png(busy_picture(64, 48, 9)),
            big = encode_png(busy_picture(150, 210, 3));

}  // namespace

// Seven first writes fail (more than the pictures kept), D1's second too; all
// come back later. Faces big, small, broken, or decoded again with the whole
// budget, beside plain cards; decoys after slow faces, passed while cards wait.
TEST(workers, failed_writes_met_again) {
    const bytes broken(other_face.begin(), other_face.begin() + 300);
    // Interlaced rows followed by 64 KiB more than the header promises.
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

// B shares A's checksum and face length, not its face bytes: after A's failed
// write B is stored with its own picture, and A then repeats B.
TEST(workers, a_checksum_shared_by_other_faces) {
    bytes face = small_face;
    face[face.size() / 2] ^= 0x55;  // a different picture, or none
    sp_record b{.text = "b", .picture1 = face, .final_section = final_with_sex(1)};
    put_le32(b.final_section, 0);
    const person a = make(row_kk, 'F', small_face, "a");
    person same_crc{build_sp_record(b), row_kk, 'F', face, false};
    ASSERT_FALSE(picture_of(a) == picture_of(same_crc));
    force_crc32(same_crc.data, crc32(a.data.data(), a.data.size()));
    ASSERT_EQ(crc32(same_crc.data.data(), same_crc.data.size()), crc32(a.data.data(), a.data.size()));
    expect_one_run_for_every_count({a, same_crc, make(row_kk, 'M', {}, "c"), a, same_crc}, {0});
    // The same face bytes under the same checksum, but the other sex: a
    // picture of its own too (a face that does not decode shows the sex).
    const bytes broken(small_face.begin(), small_face.begin() + 100);
    const person f = make(row_kk, 'F', broken, "f");
    person m = make(row_kk, 'M', broken, "m");
    force_crc32(m.data, crc32(f.data.data(), f.data.size()));
    ASSERT_FALSE(picture_of(f) == picture_of(m));
    expect_one_run_for_every_count({f, m, f, m}, {0});
}

// 302 records; four failures first, so the 256th stored card is call 260 (259
// fails too), and 41 records follow, copies of failed ones among them. While
// record 4's slow face holds the order, the kept failed pictures and the cards
// found ahead fill every picture slot: the most workers only.
TEST(workers, the_256th_stored_card_ends_the_run) {
    std::vector<person> records;
    for (int i = 0; i < 300; ++i) {
        const bytes& face = i == 4 ? big : i % 25 == 3 ? small_face : bytes();
        records.push_back(make(row_kk, i % 3 ? 'F' : 'M', face, "n" + std::to_string(i)));
        const person copy = records[i == 270 ? 3 : 0];
        if (i == 270 || i == 280) records.push_back(copy);
    }
    const scan_result want = expect_one_run_for_every_count(records, {0, 1, 2, 3, 259}, {max_workers});
    ASSERT_EQ(want.calls.size(), 261u);  // every record to 260 a new card
    EXPECT_EQ(want.calls.back().name, card_name(records[260], 261));  // the failed cards' numbers stay used
}

// The drawing split over three scans of the same scene, as the page splits it
// over its workers: each share makes the same calls with the same names and
// records, every card's picture comes from exactly one share, the very
// picture the whole scan draws, and each share draws a third of them.
TEST(workers, shares_of_the_drawing_make_one_scan) {
    std::vector<person> records;
    const bytes faces[] = {big, small_face, other_face, {}};
    for (int i = 0; i < 24; ++i) records.push_back(make(i % 5 ? row_kk : row_rg, i % 3 ? 'F' : 'M', faces[i % 4],
                                                        "s" + std::to_string(i)));
    records.push_back(records[2]);
    records.insert(records.begin() + 7, decoy());
    std::vector<bytes> datas;
    for (const person& p : records) datas.push_back(p.data);
    const bytes file = plan_scene(datas).file;
    const scan_result whole = scan(file, {}, 0);
    ASSERT_EQ(whole.calls.size(), 24u);
    for (uint32_t workers : {0u, 3u}) {
        std::vector<int> drawn_by(whole.calls.size(), -1);
        for (uint32_t index = 0; index < 3; ++index) {
            SCOPED_TRACE(testing::Message() << workers << " workers, share " << index);
            const scan_result part = scan(file, {}, workers, index, 3);
            ASSERT_EQ(part.calls.size(), whole.calls.size());
            size_t drawn = 0;
            for (size_t i = 0; i < part.calls.size(); ++i) {
                const sink_call& got = part.calls[i];
                EXPECT_EQ(got.name, whole.calls[i].name);
                EXPECT_EQ(got.record, whole.calls[i].record);
                if (got.png.empty()) continue;
                EXPECT_EQ(got.png, whole.calls[i].png) << got.name;
                EXPECT_EQ(drawn_by[i], -1) << got.name << " drawn twice";
                drawn_by[i] = int(index);
                ++drawn;
            }
            EXPECT_EQ(drawn, 8u);
            EXPECT_EQ(part.progress, whole.progress);
            EXPECT_EQ(part.totals.written, whole.totals.written);
            EXPECT_EQ(part.totals.duplicates, whole.totals.duplicates);
        }
        EXPECT_EQ(std::count(drawn_by.begin(), drawn_by.end(), -1), 0) << workers << " workers: a card nobody drew";
    }
}
