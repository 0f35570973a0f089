// Times the tool against the work it cannot avoid and prints one table:
//   1. read the 64 MiB scene and memchr through it (the baseline),
//   2. the tool on a 64 MiB scene without markers; then the same with its
//      standard output on a pseudo-terminal that is read and discarded, as
//      a terminal window would, against run 2 in wall time,
//   3. the tool on 64 MiB of E3 80 90 (every third byte a candidate),
//   4. the tool on 64 characters with 240 x 320 faces, against the same stb
//      decodes and encodes done directly on one thread; then the same with
//      one worker thread (CARDLIFT_WORKERS=1), whose cards must be the same
//      bytes,
//   5. the peak memory of run 2,
//   6. the tool on 64 MiB of a bracket and a marker's first letter, over and
//      over (every fourth byte compared with the markers),
//   7. the tool on 64 MiB whose last 41 MiB are entry-table markers packed 41
//      bytes apart, whose tables fit but reach past the end, against run 2,
//   8. the peak memory of run 7,
//   9. the tool on scenes of one character whose face picture is hostile (see
//      hostile_scenes.h): its time and peak memory against the decode budget,
//  13. --mods on 256 characters with the most extended data the reading
//      keeps, against reading that file,
//  14. 256 characters with faces as one scene, and as a folder of 256 scenes
//      of one character each, in wall time,
// runs 2, 3 and 6 also with --newer-games (the marker table's later rows,
// whose search must cost no more),
// and checks that the standard output of runs 2 and 7 is the exact progress
// stream.
//
// The machine is shared, so the runs are interleaved (load from elsewhere hits
// all of them alike), each ratio is the median of the ratios within one
// repetition, and ratios are taken of CPU time, which does not grow while a
// run waits for a core; wall times are shown beside it. Run 4 is the
// exception: the tool draws its cards on one thread per core, so its CPU time
// adds up the threads' and says nothing of what the user waits; its ratios
// are of wall time.
//
// usage: cardlift_bench <cardlift> <scene dir> [repetitions]
// The baseline and stb-only programs are taken from beside this one.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "child_run.h"
#include "cli/options.h"
#include "hostile_scenes.h"
#include "same_files.h"
#include "scene_builder.h"
#include "scene_names.h"
#include "stb_work.h"
#include "stream_check.h"

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct series {
    std::vector<timing> runs;
    // The median of one clock (&timing::wall or &timing::cpu), in milliseconds.
    double median_ms(double timing::*clock) const {
        std::vector<double> v;
        for (const timing& t : runs) v.push_back(t.*clock * 1e3);
        return median(v);
    }
};

// This run's time on `clock` over the reference's, within each repetition.
std::vector<double> paired_ratios(const series& run, const series& reference,
                                  double timing::*clock) {
    std::vector<double> ratios;
    for (size_t i = 0; i < run.runs.size(); ++i)
        ratios.push_back(run.runs[i].*clock / reference.runs[i].*clock);
    return ratios;
}

// Children run in other directories, so every path is made absolute first.
std::string absolute(const char* path) {
    char* full = realpath(path, nullptr);
    const std::string out = full ? full : path;
    std::free(full);
    return out;
}

std::string beside_this_program(const char* name) {
    const std::string self = absolute("/proc/self/exe");
    return self.substr(0, self.rfind('/') + 1) + name;
}

void append_output(void* context, const char* data, size_t length) {
    static_cast<std::string*>(context)->append(data, length);
}

// Each card run starts in an empty directory, as a user's first run would:
// rewriting last run's files would add the cost of truncating them.
// Returns how many files there were.
int empty_directory(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return 0;
    int count = 0;
    while (const dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") count += unlink((dir + "/" + name).c_str()) == 0;
    }
    closedir(d);
    return count;
}

// The stb-only program times its own loop and prints wall and CPU seconds.
bool time_stb_only(const std::string& program, const std::string& work, series* into) {
    std::string out;
    const output_reader reader{append_output, &out};
    const child_result r = run_child({program, work}, ".", &reader);
    timing t;
    if (!r.ok || std::sscanf(out.c_str(), "%lf %lf", &t.wall, &t.cpu) != 2) {
        std::fprintf(stderr, "failed: %s %s\n", program.c_str(), work.c_str());
        return false;
    }
    into->runs.push_back(t);
    return true;
}

bool time_child(const std::vector<std::string>& args, const std::string& dir, series* into,
                long* peak_kib = nullptr, bool on_terminal = false, bool fails = false) {
    const child_result r = run_child(args, dir, nullptr, on_terminal);
    // A run meant to fail (cards refused) is timed all the same.
    if (!r.ok && !(fails && r.time.wall > 0)) {
        std::fprintf(stderr, "failed: %s %s\n", args[0].c_str(), args[1].c_str());
        return false;
    }
    into->runs.push_back(r.time);
    if (peak_kib) *peak_kib = std::max(*peak_kib, r.peak_rss_kib);
    return true;
}

// The same with the tool's worker count set to `workers` for this one child.
bool time_child_with_workers(const char* workers, const std::vector<std::string>& args,
                             const std::string& dir, series* into) {
    setenv(workers_variable, workers, 1);
    const bool ok = time_child(args, dir, into);
    unsetenv(workers_variable);
    return ok;
}

// A row of the table; with a reference, the median ratio on `clock`, the
// spread of the single ratios, which shows how noisy the machine was, and the
// target when the row has one.
void print_row(const char* name, const series& s, const series* reference, double target,
               double timing::*clock = &timing::cpu) {
    std::printf("%-44s %8.1f %8.1f", name, s.median_ms(&timing::wall), s.median_ms(&timing::cpu));
    if (reference) {
        const std::vector<double> ratios = paired_ratios(s, *reference, clock);
        const double ratio = median(ratios);
        std::printf(" %6.2fx  %5.2f-%.2f", ratio, *std::min_element(ratios.begin(), ratios.end()),
                    *std::max_element(ratios.begin(), ratios.end()));
        if (target > 0) std::printf("  <= %.2fx  %s", target, ratio <= target ? "met" : "MISSED");
    }
    std::printf("\n");
}

// A run's largest resident size against the scene's plus `allowed_mib`.
void print_memory_row(const char* name, long peak_kib, double allowed_mib) {
    const double scene_mib = double(bench_scene_bytes) / (1 << 20);
    const double extra_mib = double(peak_kib) / 1024 - scene_mib;
    std::printf("%s: %.1f MiB = scene %.0f MiB + %.1f MiB   <= +%.0f MiB  %s\n", name,
                double(peak_kib) / 1024, scene_mib, extra_mib, allowed_mib,
                extra_mib <= allowed_mib ? "met" : "MISSED");
}

void print_stream_line(const char* run, const stream_verdict& stream) {
    if (stream.identical)
        std::printf("stdout of run %s: %llu bytes, identical to the reference stream\n", run,
                    static_cast<unsigned long long>(stream.bytes_seen));
    else
        std::printf("stdout of run %s DIFFERS from the reference stream at byte %llu (of %llu)\n", run,
                    static_cast<unsigned long long>(stream.first_difference),
                    static_cast<unsigned long long>(stream.bytes_seen));
}

// Bytes of the file at `path`, 0 when it cannot be read.
double file_mib(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? double(st.st_size) / (1 << 20) : 0;
}

// Hostile faces: a whole run within its CPU time (1 s for one face, or 1 s per
// MiB of scene), its peak resident memory within the scene, the decode budget
// (256 MiB) and 16 MiB for the rest.
bool print_hostile_row(const hostile_scene& h, const series& s, long peak_kib, const std::string& dir) {
    const double cpu_ms = s.median_ms(&timing::cpu), scene_mib = file_mib(dir + "/" + h.file);
    const double cpu_limit_ms = h.cpu_limit_ms > 0 ? h.cpu_limit_ms : 1000 * scene_mib;
    const double limit_mib = scene_mib + 256 + 16;
    const double peak_mib = double(peak_kib) / 1024;
    const bool met = cpu_ms <= cpu_limit_ms && peak_mib <= limit_mib;
    std::printf("  %-42s %8.1f %8.1f  %6.1f MiB <= %5.1f  %s", h.what, s.median_ms(&timing::wall), cpu_ms,
                peak_mib, limit_mib, met ? "met" : "MISSED");
    if (h.cpu_limit_ms <= 0) std::printf("  (%.1f MiB: CPU <= %.0f ms)", scene_mib, cpu_limit_ms);
    std::printf("\n");
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: cardlift_bench <cardlift> <scene dir> [repetitions]\n");
        return 2;
    }
    const std::string tool = absolute(argv[1]);
    const std::string dir = absolute(argv[2]);
    const int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
    const std::string read_search = beside_this_program("cardlift_read_search");
    const std::string stb_only = beside_this_program("cardlift_stb_only");
    const std::string newer_games = newer_games_option;
    const std::string work = dir + "/" + stb_work_file;
    const std::string plain = dir + "/" + plain_scene;
    const std::string brackets = dir + "/" + brackets_scene;
    const std::string faces = dir + "/" + faces_scene;
    const std::string letters = dir + "/" + letters_scene;
    const std::string tables = dir + "/" + tables_scene;
    const std::string cards_dir = dir + "/cards";
    const std::string one_worker_dir = dir + "/cards_one_worker";
    const std::string hostile_dir = dir + "/hostile_cards";
    mkdir(cards_dir.c_str(), 0755);
    mkdir(one_worker_dir.c_str(), 0755);
    mkdir(hostile_dir.c_str(), 0755);
    // Every other run takes the tool's default, one worker per core, whatever
    // the caller's environment says.
    unsetenv(workers_variable);

    series baseline, no_marker, no_marker_terminal, worst, cards, one_worker, stb, no_marker_newer, worst_newer,
        letters_run, letters_newer, packed, hostile[hostile_scene_count], plain16_run, nested_run, many_run,
        listing, faceless, mods_run, mods_read, cast_one, cast_folder;
    const std::string cast_one_dir = dir + "/cards_cast_one", cast_folder_dir = dir + "/cards_cast_folder";
    mkdir(cast_one_dir.c_str(), 0755);
    mkdir(cast_folder_dir.c_str(), 0755);
    const std::string faceless_cards = dir + "/cards_faceless";
    mkdir(faceless_cards.c_str(), 0755);
    // The folder that takes no card: read-only, and the tool another user
    // when this is root, whom no mode stops.
    const std::string closed_dir = dir + "/closed";
    mkdir(closed_dir.c_str(), 0555);
    chmod(closed_dir.c_str(), 0555);
    std::vector<std::string> as_other_user;
    if (geteuid() == 0) as_other_user = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    std::vector<std::string> many_args = as_other_user;
    many_args.insert(many_args.end(), {tool, dir + "/" + many_scene});
    long peak_kib = 0, packed_peak_kib = 0, hostile_peak_kib[hostile_scene_count] = {};
    for (int i = 0; i < repetitions; ++i) {
        empty_directory(cards_dir);
        empty_directory(one_worker_dir);
        empty_directory(faceless_cards);
        bool ok = time_child({read_search, plain}, dir, &baseline) &&
                  time_child({tool, plain}, dir, &no_marker, &peak_kib) &&
                  time_child({tool, plain}, dir, &no_marker_terminal, nullptr, true) &&
                  time_child({tool, newer_games, plain}, dir, &no_marker_newer) &&
                  time_child({tool, brackets}, dir, &worst) &&
                  time_child({tool, newer_games, brackets}, dir, &worst_newer) &&
                  time_child({tool, letters}, dir, &letters_run) &&
                  time_child({tool, newer_games, letters}, dir, &letters_newer) &&
                  time_child({tool, faces}, cards_dir, &cards) &&
                  time_child_with_workers("1", {tool, faces}, one_worker_dir, &one_worker) &&
                  time_stb_only(stb_only, work, &stb) &&
                  // Its tables reach past the end: told as a scene cut short, status 1.
                  time_child({tool, tables}, dir, &packed, &packed_peak_kib, false, true) &&
                  time_child({tool, dir + "/" + plain16_scene}, dir, &plain16_run) &&
                  time_child({tool, "--list", faces}, dir, &listing) &&
                  time_child({tool, dir + "/" + faceless_scene}, faceless_cards, &faceless) &&
                  time_child({tool, dir + "/" + nested_scene}, dir, &nested_run) &&
                  time_child(many_args, closed_dir, &many_run, nullptr, false, true) &&
                  time_child({read_search, dir + "/" + mods_scene}, dir, &mods_read) &&
                  time_child({tool, "--mods", dir + "/" + mods_scene}, dir, &mods_run) &&
                  time_child({tool, "-q", dir + "/" + cast256_scene}, cast_one_dir, &cast_one) &&
                  time_child({tool, "-q", dir + "/" + cast256_folder}, cast_folder_dir, &cast_folder);
        empty_directory(cast_one_dir);
        empty_directory(cast_folder_dir);
        for (size_t h = 0; h < hostile_scene_count && ok; ++h)
            ok = time_child({tool, dir + "/" + hostile_scenes[h].file}, hostile_dir, &hostile[h], &hostile_peak_kib[h]);
        if (!ok) return 1;
    }
    int cards_written = 0;
    const bool one_worker_same = same_files(cards_dir, one_worker_dir, &cards_written);
    empty_directory(cards_dir);
    empty_directory(one_worker_dir);
    empty_directory(hostile_dir);
    empty_directory(faceless_cards);

    const uint64_t iend = png_head().size() - 12;
    const stream_verdict stream = check_marker_free_stream(tool, plain, bench_scene_bytes, iend);
    const stream_verdict packed_stream = check_marker_free_stream(tool, tables, bench_scene_bytes, iend, true);

    std::printf("medians of %d interleaved repetitions; ratios of CPU time, except on a terminal\n"
                "(what the user waits there is the terminal's reading too) and in run 4 and the\n"
                "row under it: the tool draws its cards on one thread per core (%u here), so\n"
                "there the ratios are of wall time, what the user waits, as CPU time adds up all\n"
                "the threads\n\n",
                repetitions, std::max(1u, std::thread::hardware_concurrency()));
    std::printf("%-44s %8s %8s %7s  %-10s  %s\n", "run", "wall ms", "CPU ms", "ratio", "spread",
                "target");
    print_row("1 baseline: read + memchr, 64 MiB", baseline, nullptr, 0);
    print_row("2 cardlift, 64 MiB without markers", no_marker, &baseline, 2.0);
    print_row("  the same with --newer-games", no_marker_newer, &baseline, 2.0);
    print_row("  the same on a terminal, against run 2", no_marker_terminal, &no_marker, 1.2, &timing::wall);
    print_row("3 cardlift, 64 MiB of E3 80 90", worst, &baseline, 3.0);
    print_row("  the same with --newer-games", worst_newer, &baseline, 3.0);
    print_row("  stb only: 64 decodes + 64 encodes", stb, nullptr, 0);
    print_row("4 cardlift, 64 characters, 240x320 faces", cards, &stb, 0.65, &timing::wall);
    print_row("  the same with CARDLIFT_WORKERS=1", one_worker, &stb, 1.10, &timing::wall);
    print_memory_row("5 peak memory of run 2", peak_kib, 8);
    print_row("6 cardlift, 64 MiB of bracket + letter", letters_run, &baseline, 0);
    print_row("  the same with --newer-games", letters_newer, &baseline, 0);
    print_row("7 cardlift, 64 MiB, packed entry tables", packed, &no_marker, 4.0);
    print_memory_row("8 peak memory of run 7", packed_peak_kib, 64);
    print_row("10 cardlift, 16 MiB without markers", plain16_run, nullptr, 0);
    print_row("   16 MiB of later games' nested records", nested_run, &plain16_run, 2.0);
    const double many_cpu_ms = many_run.median_ms(&timing::cpu);
    print_row("11 20,000 characters, a read-only folder", many_run, nullptr, 0);
    print_row("12 cardlift on run 4's scene, faces zeroed", faceless, nullptr, 0);
    print_row("   --list on run 4's scene, against it", listing, &faceless, 1.0, &timing::wall);
    std::printf("   its CPU time %.1f ms   <= 1000 ms  %s\n", many_cpu_ms, many_cpu_ms <= 1000 ? "met" : "MISSED");
    print_row("13 read + memchr, 256 characters' most mods", mods_read, nullptr, 0);
    print_row("   --mods on them, against it", mods_run, &mods_read, 2.0);
    print_row("14 256 characters in one scene", cast_one, nullptr, 0);
    print_row("   the same in 256 scenes of a folder", cast_folder, &cast_one, 1.15, &timing::wall);
    std::printf("9 hostile faces, one character each             wall ms   CPU ms  peak memory       target\n");
    bool hostile_met = true;
    for (size_t h = 0; h < hostile_scene_count; ++h)
        hostile_met &= print_hostile_row(hostile_scenes[h], hostile[h], hostile_peak_kib[h], dir);
    std::printf("\nrun 4 wrote %d card files (%d characters in the scene)\n", cards_written,
                bench_face_count);
    std::printf("run 4 with one worker wrote %s\n",
                one_worker_same ? "the same files, byte for byte" : "DIFFERENT files");
    print_stream_line("2", stream);
    print_stream_line("7", packed_stream);
    return stream.identical && packed_stream.identical && cards_written == bench_face_count &&
                   one_worker_same && hostile_met && many_cpu_ms <= 1000
               ? 0
               : 1;
}
