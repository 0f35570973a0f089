// The tool facing a hostile file system: card names that cannot be written,
// links standing at card names, a run killed while it writes.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include "e2e_support.h"

namespace {

// The system's words for each failure, as each build of the tool reports them.
std::string reason(const std::string& linux_text, const std::string& windows_text) {
    return windows_tool() ? windows_text : linux_text;
}

// A launcher that runs the tool with the preloaded file hooks and `settings`
// (the sanitizer runtimes want to come first; the hooks only wrap calls).
std::string file_hooks(const std::string& settings) {
    return "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 LD_PRELOAD=" + quoted(FILE_HOOKS_PATH) +
           " " + settings + " ";
}

std::string cannot_write(const std::string& name, const std::string& why) {
    return "cannot write " + name + ": " + why + "\r\n";
}

// What is left of a sandbox's cards: name to the record after the PNG.
std::map<std::string, bytes> records_left(const sandbox& box) {
    std::map<std::string, bytes> left;
    for (const std::string& name : file_names(box))
        if (name != "scene.png" && std::filesystem::is_regular_file(box.work + "/" + name))
            left[name] = read_card(box, name).rest;
    return left;
}

// A card that cannot be stored is told on standard error with the reason, and
// once more in a count after the summary, with status 1; it is no duplication,
// leaves no file and keeps its number, so the cards after it get names of
// their own, and frees its checksum: the same record met again is tried again,
// under the next number. With no card written the summary says why. A card
// that stood at the name from an earlier run stays as it was. Drawn inline or
// by more threads than cores, the same run; in the scene with faces each
// record moves the percentage, so progress shown out of order shows.
TEST(e2e_failure, cards_that_cannot_be_written_are_told) {
    const bytes a = character(row_kk, 1), b = character(row_kk, 0), c = character(row_kk, 1, {}, "c"),
                fa = character(row_kk, 1, encode_png(busy_picture(12, 16, 4))),
                d = character(row_rg, 1, encode_png(busy_picture(10, 8, 8))),
                big = character(row_kk, 1, bytes(100000, 'x'));  // a face that does not decode
    const std::string is_directory = reason("Is a directory", "Access denied."),
                      denied = reason("Permission denied", "Access denied.");
    const bytes earlier_card = bytes(5000, 0x5A);
    // Where the folder takes no card at all, the first failure stops the
    // writing (and drawing): one notice says why and how many were left.
    auto stopped = [](const std::vector<bytes>& records, const std::string& why) {
        const scene_plan plan = plan_scene(records);
        const size_t left = records.size() - 1;
        const std::string start = "Stopped writing at " +
                                  std::to_string((plan.spans[0].first - 5) * 100 / plan.file.size()) +
                                  "%: the folder takes no cards (" + why + ")";
        if (left == 0) return start + ".\r\n";  // nothing more to count
        return start + "; " + std::to_string(left) + " more character" + (left == 1 ? "" : "s") + " not written.\r\n";
    };
    const bytes e = character(row_hc, 1), f = character(row_rg, 0);
    enum setting { directory_at_name, read_only_folder, size_limit, disk_full };
    const struct {
        setting how;
        uint32_t blocked;  // the KK_F card number whose name is taken
        std::vector<bytes> records;
        const char* summary;
        std::map<std::string, bytes> cards;  // name: record
        std::string err;
    } cases[] = {
        {directory_at_name, 1, {a, b, a}, "\rExtracted 2 characters.\r\n",
         {{card_name("KK_M", 2), b}, {card_name("KK_F", 3), a}},
         cannot_write(card_name("KK_F", 1), is_directory) + "1 card could not be written.\r\n"},
        {directory_at_name, 3, {fa, b, c, fa, d, c, b, fa}, "\rExtracted 4 characters (3 duplications skipped).\r\n",
         {{card_name("KK_F", 1), fa}, {card_name("KK_M", 2), b}, {card_name("RG_F", 4), d}, {card_name("KK_F", 5), c}},
         cannot_write(card_name("KK_F", 3), is_directory) + "1 card could not be written.\r\n"},
        {read_only_folder, 0, {a, b}, "\rNo card written: 2 characters could not be written.\r\n", {},
         cannot_write(card_name("KK_F", 1), denied) + stopped({a, b}, denied) + "2 cards could not be written.\r\n"},
        {read_only_folder, 0, {a}, "\rNo card written: 1 character could not be written.\r\n", {},
         cannot_write(card_name("KK_F", 1), denied) + stopped({a}, denied) + "1 card could not be written.\r\n"},
        // Full after the first card: the rest, repeats aside, are left.
        {disk_full, 2, {a, b, fa, a, e, f}, "\rExtracted 1 character (1 duplication skipped).\r\n",
         {{card_name("KK_F", 1), a}},
         cannot_write(card_name("KK_M", 2), "No space left on device") +
             "Stopped writing at " + std::to_string((plan_scene({a, b, fa, a, e, f}).spans[1].first - 5) * 100 /
                                                    plan_scene({a, b, fa, a, e, f}).file.size()) +
             "%: the folder takes no cards (No space left on device); 3 more characters not written.\r\n" +
             "4 cards could not be written.\r\n"},
        // The earlier card at the name is kept whole; the small card after it is written.
        {size_limit, 1, {big, b}, "\rExtracted 1 character.\r\n",
         {{card_name("KK_F", 1), earlier_card}, {card_name("KK_M", 2), b}},
         cannot_write(card_name("KK_F", 1), "File too large") + "1 card could not be written.\r\n"},
    };
    for (const auto& c : cases) {
        // A folder closed to root needs another user, and a file size limit a
        // POSIX process: both are checked on Linux only.
        if (tool_overridden() && c.how != directory_at_name) continue;
        const scene_plan plan = plan_scene(c.records);
        std::map<std::string, std::string> first_files;
        for (const char* workers : {"1", "64"}) {
            SCOPED_TRACE(testing::Message() << c.err << " workers " << workers);
            sandbox box;
            write_file(box, "scene.png", plan.file);
            const std::string blocked = card_name("KK_F", c.blocked);
            std::string launcher = std::string("CARDLIFT_WORKERS=") + workers + " ";
            if (c.how == directory_at_name) ASSERT_TRUE(std::filesystem::create_directory(box.work + "/" + blocked));
            if (c.how == size_limit) {
                write_file(box, blocked, earlier_card);
                launcher = "ulimit -f 100; " + launcher;  // 51,200 bytes a file; SIGXFSZ is the tool's to ignore
            }
            if (c.how == disk_full)  // the second card's writes, through the preloaded file hooks
                launcher += file_hooks("CARDLIFT_WRITE_ERRNO=28 CARDLIFT_WRITE_ERRNO_FROM=2");
            if (c.how == read_only_folder) {
                ASSERT_EQ(chmod(box.root.c_str(), 0755) | chmod(box.work.c_str(), 0555), 0);
                // Root may write anywhere: the tool runs as nobody then.
                if (geteuid() == 0) launcher += "setpriv --reuid=65534 --regid=65534 --clear-groups ";
            }
            expect_run(run_tool(box, {"scene.png"}, launcher), 1, expected_out(plan, c.summary), c.err);
            chmod(box.work.c_str(), 0755);
            std::map<std::string, bytes> want = c.cards;
            if (c.how == directory_at_name) want.erase(blocked);
            std::map<std::string, bytes> got = records_left(box);
            if (c.how == directory_at_name) EXPECT_TRUE(std::filesystem::is_directory(box.work + "/" + blocked));
            if (c.how == size_limit) {
                EXPECT_TRUE(read_text(box.work + "/" + blocked) == std::string(earlier_card.begin(), earlier_card.end()));
                got[blocked] = earlier_card;
            }
            EXPECT_TRUE(got == want) << "cards left: " << testing::PrintToString(file_names(box));
            std::map<std::string, std::string> files;
            for (const auto& [name, record] : c.cards) files[name] = read_text(box.work + "/" + name);
            if (first_files.empty()) first_files = files;
            EXPECT_TRUE(files == first_files) << "the card files differ";
        }
    }
}

// Whatever stands at a card's name is replaced by the card, never written
// through: a symbolic link to a file outside, one to nothing, and a second
// name of a file. The link's target keeps its bytes, no file appears where a
// dangling link points, and the card is a regular file of its own.
TEST(e2e_failure, links_at_card_names_are_replaced_not_followed) {
    const bytes record = character(row_kk, 1);
    const scene_plan plan = plan_scene({record});
    const std::string name = card_name("KK_F", 1), kept = "precious bytes\n";
    for (const std::string link : {"symlink to a file", "dangling symlink", "hard link"}) {
        SCOPED_TRACE(link);
        sandbox box;
        write_file(box, "scene.png", plan.file);
        const std::string target = box.root + "/target", at = box.work + "/" + name;
        if (link != "dangling symlink") write_file(box, "../target", bytes(kept.begin(), kept.end()));
        ASSERT_EQ(link == "hard link" ? ::link(target.c_str(), at.c_str()) : symlink(target.c_str(), at.c_str()), 0);
        expect_run(run_tool(box, {"scene.png"}), 0, expected_out(plan, "\rExtracted 1 character.\r\n"));
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(at)));
        EXPECT_TRUE(same_text(read_card(box, name).rest, record));
        if (link == "dangling symlink") EXPECT_FALSE(std::filesystem::exists(target));
        else EXPECT_EQ(read_text(target), kept);
        EXPECT_EQ(file_names(box), (std::set<std::string>{"scene.png", name}));
    }
}

// A run ended while it writes a card: by any signal that ends a process and
// can be caught, the unfinished file is removed and the tool ends as the
// signal says; by SIGKILL only the unfinished file may remain; a signal the
// parent ignored (nohup) stays ignored and the card is written. Never a short
// card under a card's name, and an earlier card there stays whole. The
// write blocks (the preloaded file hooks) until the test has sent its
// signal, so the signal always arrives mid-card, whatever the load. A link
// planted at the name the first unfinished file takes is passed over, not
// written through. POSIX signals: the Linux program only.
TEST(e2e_failure, a_run_ended_while_it_writes_leaves_no_short_card) {
    if (tool_overridden()) return;
    const bytes record = character(row_kk, 1);
    const scene_plan plan = plan_scene({record});
    const std::string name = card_name("KK_F", 1), earlier = "an earlier card", planted = "not the tool's\n";
    std::vector<int> signals{SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGKILL, 0};
#ifdef SIGPWR
    signals.push_back(SIGPWR);
#endif
    for (const int sig : signals) {
        const bool ignored = sig == 0;  // SIGHUP, ignored by the parent
        SCOPED_TRACE(ignored ? "SIGHUP ignored by the parent" : strsignal(sig));
        sandbox box;
        write_file(box, "scene.png", plan.file);
        write_file(box, name, bytes(earlier.begin(), earlier.end()));
        write_file(box, "../target", bytes(planted.begin(), planted.end()));
        const std::string gate = box.root + "/gate";
        const pid_t child = fork();
        if (child == 0) {
            // Standard output to /dev/null, as the progress is no matter here.
            const int null_fd = open("/dev/null", O_WRONLY);
            if (null_fd < 0 || chdir(box.work.c_str()) != 0) _exit(127);
            dup2(null_fd, 1);
            const std::string first = ".cardlift-" + std::to_string(getpid()) + "-0.part";
            if (symlink((box.root + "/target").c_str(), first.c_str()) != 0) _exit(127);
            // What this test inherited (a job started in the background ignores
            // SIGINT and SIGQUIT, nohup SIGHUP) is not what it tries.
            for (const int s : signals)
                if (s != 0 && s != SIGKILL) signal(s, SIG_DFL);
            if (ignored) signal(SIGHUP, SIG_IGN);
            // Core files of SIGQUIT are no matter either.
            const rlimit no_core{0, 0};
            setrlimit(RLIMIT_CORE, &no_core);
            setenv("LD_PRELOAD", FILE_HOOKS_PATH, 1);
            setenv("CARDLIFT_WRITE_GATE", gate.c_str(), 1);
            const char* asan = getenv("ASAN_OPTIONS");
            setenv("ASAN_OPTIONS", ((asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0").c_str(), 1);
            execl(CARDLIFT_TOOL_PATH, CARDLIFT_TOOL_PATH, "scene.png", static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(child, 0);
        // The gate says when the card's first bytes are being written; a run
        // that ends before that fails the test, it does not hang it.
        int raw = 0;
        pid_t ended = 0;
        while (access((gate + ".waiting").c_str(), F_OK) != 0 && (ended = waitpid(child, &raw, WNOHANG)) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(ended, 0) << "the tool ended before it wrote the card, raw status " << raw;
        kill(child, ignored ? SIGHUP : sig);
        if (ignored) write_file(box, "../gate.open", bytes());
        // A tool that outlives the signal would wait at the gate for ever: it
        // fails the test instead, after 30 s.
        for (int waited = 0; (ended = waitpid(child, &raw, WNOHANG)) == 0 && waited < 30000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (ended == 0) {
            kill(child, SIGKILL);
            waitpid(child, &raw, 0);
            FAIL() << "the tool outlived the signal";
        }
        ASSERT_EQ(ended, child);
        if (ignored) EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << "raw status " << raw;
        else EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == sig) << "raw status " << raw;
        std::set<std::string> names = file_names(box);
        for (auto it = names.begin(); it != names.end();)
            it = sig == SIGKILL && it->starts_with(".cardlift-") && it->ends_with("-1.part") ? names.erase(it)
                                                                                             : std::next(it);
        EXPECT_EQ(names.erase(".cardlift-" + std::to_string(child) + "-0.part"), 1u) << "the planted link";
        EXPECT_EQ(names, (std::set<std::string>{"scene.png", name}));
        if (ignored) EXPECT_TRUE(same_text(read_card(box, name).rest, record));
        else EXPECT_EQ(read_text(box.work + "/" + name), earlier);
        EXPECT_EQ(read_text(box.root + "/target"), planted);
    }
}

}  // namespace

namespace {

// A scene cut short inside a character record (an interrupted download) is
// told once, with where, and fails the run; the cards before the cut are
// written. Cut between records or before any, nothing is told: the scene
// looks whole.
TEST(e2e_failure, a_scene_cut_short_is_told) {
    const bytes a = character(row_kk, 1), b = character(row_hc, 0, encode_png(busy_picture(9, 7, 3)));
    const scene_plan whole = plan_scene({a, b, b});
    const struct {
        const char* what;
        size_t keep;            // bytes of the whole scene kept
        size_t records;         // of them, whole
        const char* summary;
        bool told;
    } cases[] = {
        {"inside the last record", size_t(whole.spans[2].second - 1), 2, "\rExtracted 2 characters.\r\n", true},
        {"inside the second record", size_t(whole.spans[1].first + 40), 1, "\rExtracted 1 character.\r\n", true},
        {"after the second record", size_t(whole.spans[1].second + 3), 2, "\rExtracted 2 characters.\r\n", false},
        {"before any record", size_t(whole.spans[0].first - 5), 0, "\rNo characters found!\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        scene_plan cut{bytes(whole.file.begin(), whole.file.begin() + long(c.keep)),
                       {whole.spans.begin(), whole.spans.begin() + long(c.records)}};
        std::string err;
        if (c.told)
            err = "scene.png: the scene ends inside a character record at " +
                  std::to_string(whole.spans[c.records].first * 100 / c.keep) + "%: the file may be cut short.\r\n";
        sandbox box;
        expect_run(run_scene(box, cut.file), c.told ? 1 : 0, expected_out(cut, c.summary), err);
        EXPECT_EQ(file_names(box).size(), 1 + c.records);
    }
}

// On a terminal a message on standard error, the same screen, starts a line
// of its own: the percentage before it is ended first. Redirected, the
// progress stream stays exactly the texts.
TEST(e2e_failure, a_message_on_a_terminal_starts_its_own_line) {
    const bytes a = character(row_kk, 1), b = character(row_kk, 0);
    const scene_plan plan = plan_scene({a, b});
    sandbox box;
    write_file(box, "scene.png", plan.file);
    ASSERT_TRUE(std::filesystem::create_directory(box.work + "/" + card_name("KK_F", 1)));
    const std::string message = cannot_write(card_name("KK_F", 1), reason("Is a directory", "Access denied."));
    const run_result r = run_tool_on_terminal(box, {"scene.png"}, true);
    const std::string once = each_percentage_once(expected_out(plan, "\rExtracted 1 character.\r\n"));
    EXPECT_EQ(r.status, 1);
    if (windows_tool()) {  // wine's console shows characters, not line ends
        EXPECT_NE(r.out.find(shown_characters(message)), std::string::npos) << r.out;
    } else {
        // The percentage at the first marker is the last before the message.
        char at[8];
        std::snprintf(at, sizeof at, "\r%2u%%", unsigned(plan.spans[0].first * 100 / plan.file.size()));
        const size_t cut = once.find(at) + 4;
        EXPECT_TRUE(same_text(r.out, once.substr(0, cut) + "\r\n" + message + once.substr(cut) + "1 card could not be written.\r\n"));
    }
    sandbox piped;
    write_file(piped, "scene.png", plan.file);
    ASSERT_TRUE(std::filesystem::create_directory(piped.work + "/" + card_name("KK_F", 1)));
    expect_run(run_tool(piped, {"scene.png"}), 1, expected_out(plan, "\rExtracted 1 character.\r\n"),
               message + "1 card could not be written.\r\n");
}

}  // namespace

namespace {

// Short of memory, with 64 drawing threads asked for: fewer threads start,
// and whatever cannot be had costs cards said in words, never a crash or a
// short card. Every card left is whole; written and told add up to all.
// POSIX limits on the Linux program only; sanitizer builds reserve far more
// address space than any of these limits (their test presets leave it out).
TEST(e2e_failure, low_memory_loses_no_card_silently) {
    if (tool_overridden()) return;
    std::vector<bytes> records;
    for (int i = 0; i < 24; ++i)
        records.push_back(character(row_kk, uint8_t(i % 2), encode_png(busy_picture(100 + i, 140, uint32_t(i)))));
    const scene_plan plan = plan_scene(records);
    for (const int limit_mb : {20, 60}) {
        SCOPED_TRACE(testing::Message() << "ulimit -v " << limit_mb << " MB");
        sandbox box;
        write_file(box, "scene.png", plan.file);
        const std::string launcher = "ulimit -v " + std::to_string(limit_mb * 1024) + "; CARDLIFT_WORKERS=64 ";
        const run_result r = run_tool(box, {"scene.png"}, launcher);
        ASSERT_TRUE(r.status == 0 || r.status == 1) << r.status << " " << r.err.substr(0, 300);
        size_t told = 0;
        for (size_t at = 0; (at = r.err.find("cannot write ", at)) != std::string::npos; ++at) ++told;
        const std::map<std::string, bytes> left = records_left(box);
        EXPECT_EQ(left.size() + told, records.size()) << r.err.substr(0, 300);
        EXPECT_EQ(r.status, told ? 1 : 0);
        for (const auto& [name, rest] : left)
            EXPECT_NE(std::find(records.begin(), records.end(), rest), records.end()) << name << " is not whole";
    }
}

}  // namespace

namespace {

// Address-space limits from too little to load the program to enough for the
// whole scene, in steps of 64 KiB: each run ends by itself, with cards
// written or a failure in words, never by a signal (the scan's working storage
// once lived on the stack, which such a limit left no room to grow).
TEST(e2e_failure, low_memory_sweep_never_ends_a_run_by_a_signal) {
    if (tool_overridden()) return;
    std::vector<bytes> records;
    for (int i = 0; i < 2; ++i) records.push_back(character(row_hc, 1, encode_png(busy_picture(30 + i, 40, uint32_t(i)))));
    const scene_plan plan = plan_scene(records);
    sandbox box;
    write_file(box, "scene.png", plan.file);
    for (const char* options : {"-q", "--json"}) {
        int ended_well = 0;
        for (int limit_kb = 5120; limit_kb <= 9216; limit_kb += 64) {
            const std::string launcher = "ulimit -v " + std::to_string(limit_kb) + "; CARDLIFT_WORKERS=0 ";
            const run_result r = run_tool(box, {options, "scene.png"}, launcher);
            // 127: the loader could not map the program's libraries at all.
            EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 127)
                << options << ", ulimit -v " << limit_kb << ": status " << r.status << " " << r.err.substr(0, 200);
            if (r.status == 1) EXPECT_FALSE(r.err.empty()) << options << ", ulimit -v " << limit_kb;
            ended_well += r.status == 0;
            for (const auto& e : std::filesystem::directory_iterator(box.work))
                if (e.path().filename() != "scene.png") std::filesystem::remove(e.path());
        }
        EXPECT_GT(ended_well, 0) << options << ": no limit was enough for the scene";
    }
}

}  // namespace

namespace {

// Each card is on disk before it takes its name, and the folder's names once
// after the run's last card, so a power cut leaves whole cards or none:
// every rename comes after its card's flush; the folder comes last, once, when
// some card was written. Seen from inside the Linux program.
TEST(e2e_failure, cards_reach_the_disk_before_their_names) {
    if (tool_overridden()) return;
    const bytes a = character(row_kk, 1), b = character(row_hc, 0);
    const scene_plan plan = plan_scene({a, b, a});
    sandbox box;
    write_file(box, "one.png", plan.file);
    write_file(box, "none.png", build_scene(bytes(40, '.')));
    const std::string trace = box.root + "/trace";
    const std::string launcher = file_hooks("CARDLIFT_SYNC_TRACE=" + quoted(trace));
    const run_result r = run_tool(box, {"one.png", "none.png"}, launcher);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_text(trace), "fsync file\nrename " + card_name("KK_F", 1, "one.png") + "\nfsync file\nrename " +
                                    card_name("HC_M", 2, "one.png") + "\nfsync folder work\n");
    // Into an output folder, that folder is flushed, once, after the last card of the run.
    std::filesystem::remove(trace);
    EXPECT_EQ(run_tool(box, {"-o", "cards", "one.png", "none.png", "one.png"}, launcher).status, 0);
    const std::string trace_text = read_text(trace);
    EXPECT_EQ(std::count(trace_text.begin(), trace_text.end(), '\n'), 9) << trace_text;
    EXPECT_TRUE(trace_text.ends_with("fsync folder cards\n")) << trace_text;
    EXPECT_EQ(trace_text.find("fsync folder work"), std::string::npos) << trace_text;
}

}  // namespace

namespace {

// Standard output and standard error into one file (`>out 2>&1`): the summary
// stands before the notices, which follow in the order the documents give:
// the characters of later games, the count of unwritten cards, the cut.
TEST(e2e_failure, notices_follow_the_summary_in_order) {
    const bytes a = character(row_kk, 1), b = character(row_kk, 0), later = character(row_sv, 1);
    const scene_plan whole = plan_scene({a, later, b, a});
    const bytes cut(whole.file.begin(), whole.file.begin() + long(whole.spans[3].first + 20));
    sandbox box;
    write_file(box, "scene.png", cut);
    ASSERT_TRUE(std::filesystem::create_directory(box.work + "/" + card_name("KK_F", 1)));
    const std::string both = box.root + "/both";
    const int raw = system((tool_command(box, {"scene.png"}) + " >" + quoted(both) + " 2>&1").c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1);
    const std::string tail = "\rExtracted 1 character.\r\n"
                             "Left out 1 character of later games: run with --newer-games to extract it.\r\n"
                             "1 card could not be written.\r\n"
                             "scene.png: the scene ends inside a character record at " +
                             std::to_string(whole.spans[3].first * 100 / cut.size()) + "%: the file may be cut short.\r\n";
    const std::string got = read_text(both);
    EXPECT_TRUE(got.ends_with(tail)) << excerpt(got, got.size() > 200 ? got.size() - 200 : 0);
}

// On a terminal each new percentage is flushed when it is written: while the
// first card is being written (its write held by the preloaded file hooks),
// the terminal already shows the percentage of the card's marker.
TEST(e2e_failure, the_terminal_sees_each_percentage_at_once) {
    if (tool_overridden()) return;
    const bytes a = character(row_kk, 1);
    const scene_plan plan = plan_scene({a});
    sandbox box;
    write_file(box, "scene.png", plan.file);
    const std::string gate = box.root + "/gate";
    const std::string command = tool_command(box, {"scene.png"}, file_hooks("CARDLIFT_WRITE_GATE=" + quoted(gate))) +
                                " 2>/dev/null";
    termios raw_mode{};
    cfmakeraw(&raw_mode);
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, &raw_mode, nullptr);
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    fcntl(terminal, F_SETFL, fcntl(terminal, F_GETFL) | O_NONBLOCK);
    std::string shown;
    char block[4096];
    auto drain = [&] {
        for (ssize_t n; (n = read(terminal, block, sizeof block)) > 0;) shown.append(block, size_t(n));
    };
    int raw = 0;
    pid_t ended = 0;
    while (access((gate + ".waiting").c_str(), F_OK) != 0 && (ended = waitpid(child, &raw, WNOHANG)) == 0) {
        drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(ended, 0) << "the tool ended before it wrote the card";
    // What was flushed before the write began is in the terminal by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    drain();
    char at[8];
    std::snprintf(at, sizeof at, "\r%2u%%", unsigned(plan.spans[0].first * 100 / plan.file.size()));
    EXPECT_TRUE(shown.ends_with(at)) << excerpt(shown, shown.size() > 24 ? shown.size() - 24 : 0);
    write_file(box, "../gate.open", bytes());
    fcntl(terminal, F_SETFL, fcntl(terminal, F_GETFL) & ~O_NONBLOCK);
    for (ssize_t n; (n = read(terminal, block, sizeof block)) > 0;) shown.append(block, size_t(n));
    close(terminal);
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
    EXPECT_TRUE(same_text(shown, each_percentage_once(expected_out(plan, "\rExtracted 1 character.\r\n"))));
}

}  // namespace
