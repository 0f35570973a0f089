// The tool in an unfriendly process setting: a failing standard output, and
// special or too big files named as the scene.
#include <sys/stat.h>
#include <unistd.h>

#include "e2e_support.h"

namespace {

// A pipe whose reader quit, a closed descriptor or a full device cost the
// console text only: every card is written in full (no console byte in one,
// though a closed descriptor is the first a file opened would get), and the
// run says on standard error that its output is missing, with status 1. The
// characters lie 8 MiB apart, so the reader is long gone when the later ones
// are reached.
TEST(e2e_process, failing_standard_output_loses_no_card) {
    const bytes records[] = {character(row_kk, 1), character(row_kk, 0), character(row_rg, 1)};
    const std::string names[] = {card_name("KK_F", 1), card_name("KK_M", 2), card_name("RG_F", 3)};
    const bytes scene = scene_with_records({records[0], records[1], records[2]}, size_t(8) << 20);
    for (const std::string output : {"pipe", ">&-", ">/dev/full"}) {
        SCOPED_TRACE(output == "pipe" ? "reader quits after 8 bytes" : output);
        sandbox box;
        write_file(box, "scene.png", scene);
        const std::string command = tool_command(box, {"scene.png"}) + " 2>" + quoted(box.root + "/stderr");
        const bool closed = output != "pipe";
        int raw = closed ? system((command + " " + output).c_str()) : -1;
        if (!closed) {
            FILE* pipe = popen(command.c_str(), "r");
            ASSERT_NE(pipe, nullptr);
            char head[9] = {};
            EXPECT_EQ(std::fread(head, 1, 8, pipe), 8u);
            EXPECT_STREQ(head, "\r 0%\r 0%");
            raw = pclose(pipe);  // closes the reading end, then waits for the tool
        }
        ASSERT_TRUE(raw != -1 && WIFEXITED(raw)) << "raw status " << raw;
        expect_run({WEXITSTATUS(raw), "", read_text(box.root + "/stderr")}, 1, "",
                   "Standard output could not be written: the progress or the summary is missing.\r\n");
        EXPECT_EQ(file_names(box), (std::set<std::string>{"scene.png", names[0], names[1], names[2]}));
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(same_text(read_card(box, names[i]).rest, records[i]));  // no console bytes
    }
}

// On a terminal each percentage is written once, when it changes, and the
// screen shows the same sequence; into a pipe (or a file) the stream is one
// text a position, as ever. Scenes: one whose scan starts at 16 % and skips
// most percentages, one of many positions a percentage, cards with a
// duplicate, and the stop after 256 cards (on the terminal only).
TEST(e2e_process, progress_on_a_terminal_shows_each_percentage_once) {
    const bytes a = character(row_kk, 1), b = character(row_rg, 0, encode_png(busy_picture(9, 7, 3)));
    std::vector<bytes> many;
    for (int i = 0; i < 260; ++i) many.push_back(character(row_hc, 0, {}, std::to_string(i)));
    const struct {
        scene_plan plan;
        const char* summary;
        size_t stop_after = SIZE_MAX;
    } cases[] = {
        {{build_scene(bytes(31, '.')), {}}, "\rNo characters found!\r\n"},
        {{build_scene(bytes(300000, '.')), {}}, "\rNo characters found!\r\n"},
        {plan_scene({a, b, a}), "\rExtracted 2 characters (1 duplication skipped).\r\n"},
        {plan_scene(many), "\rExtracted 256 characters.\r\n", 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.plan.file.size() << " bytes, " << c.plan.spans.size() << " records");
        const std::string full = expected_out(c.plan, c.summary, c.stop_after);
        sandbox box;
        write_file(box, "scene.png", c.plan.file);
        const std::string err = c.stop_after == 256 ? stop_notice(c.plan) : "";
        expect_run(run_tool_on_terminal(box, {"scene.png"}), 0, each_percentage_once(full), err);
        EXPECT_EQ(file_names(box).size(), 1 + std::min<size_t>(c.plan.spans.size(), 256) - (c.plan.spans.size() == 3));
        // The stop's stream into a file is cards_and_summary's; 256 cards cost.
        if (c.stop_after == 256) continue;
        FILE* pipe = popen((tool_command(box, {"scene.png"}) + " 2>" + quoted(box.root + "/stderr")).c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string piped;
        char block[65536];
        for (size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;) piped.append(block, n);
        const int raw = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
        EXPECT_TRUE(piped == full) << "the piped stream differs";
        EXPECT_EQ(read_text(box.root + "/stderr"), err);
    }
}

// Every refused argument says what and why: a path that cannot be read gives
// the system's reason (ours for the checks the tool makes), a file that is
// read but no scene "not a scene file", an option-like word that names no file
// the unknown option. A named pipe is refused at once, without waiting for a
// writer (the timeout turns a hang into status 124); a file of 4 GiB or more
// is refused whole, even when its size modulo 2^32 would pass (sparse files).
TEST(e2e_process, refused_arguments_say_why) {
    const bytes scene = plan_scene({character(row_kk, 1)}).file;
    const bool root = geteuid() == 0;
    // The system's words: wine has its own for a missing file.
    const std::string missing = missing_reason();
    const std::string unknown = " (cardlift --help lists the options)\r\n";
    const struct {
        const char* what;
        std::string arg = "scene.png";
        std::string err;  // ends with "*": the rest is the system's own words
        int status = 1;
    } cases[] = {
        {"missing", "scene.png", "cannot read scene.png: " + missing + "\r\n"},
        {"missing in a missing folder", "no/scene.png",
         "cannot read no/scene.png: " + (windows_tool() ? std::string("Path not found.") : missing) + "\r\n"},
        {"unreadable", "scene.png", "cannot read scene.png: *"},
        {"directory without scenes", "scene.png", "scene.png: no .png file in this folder\r\n"},
        {"named pipe", "scene.png", windows_tool() ? "cannot read scene.png: *" : "cannot read scene.png: not a regular file\r\n"},
        {"device", "/dev/null", windows_tool() ? "cannot read /dev/null: *" : "cannot read /dev/null: not a regular file\r\n"},
        {"4 GiB", "scene.png", "cannot read scene.png: 4 GiB or larger, more than a scene can be\r\n"},
        {"4 GiB and a scene", "scene.png", "cannot read scene.png: 4 GiB or larger, more than a scene can be\r\n"},
        {"plain PNG", "scene.png", "not a scene file\r\n"},
        {"JPEG", "scene.jpg", "not a scene file\r\n"},
        {"--verbose", "--verbose", "unknown option --verbose" + unknown, 2},
        {"-v", "-v", "unknown option -v" + unknown, 2},
        {"a scene named -v, as a path", "./-v", "", 0},
        // Terminal escapes and CR LF in a name are shown, not obeyed.
        {"control characters", "\x1b]0;owned\x07" "a\r\nb\x7f.png",
         "cannot read \\x1B]0;owned\\x07a\\x0D\\x0Ab\\x7F.png: " + missing + "\r\n"},
        // A name is shown up to 1,024 bytes, then "...": the bound just inside and outside.
        {"1,024 bytes", "n/" + std::string(1022, 'a'), "cannot read n/" + std::string(1022, 'a') + ": *"},
        {"1,025 bytes", "n/" + std::string(1023, 'a'), "cannot read n/" + std::string(1022, 'a') + "...: *"},
    };
    for (const auto& c : cases) {
        const std::string what = c.what;
        SCOPED_TRACE(what);
        if (what == "control characters" && windows_tool()) continue;  // wine's command line takes no such name
        // Root reads any file: the unreadable one is tried as another user,
        // which wine's prefix, made by this user, does not allow.
        if (what == "unreadable" && windows_tool()) continue;
        if (what == "unreadable" && root && system("command -v setpriv >/dev/null") != 0) {
            ADD_FAILURE() << "cannot run as another user here: setpriv (package util-linux) is missing";
            continue;
        }
        sandbox box;
        const std::string path = box.work + "/" + c.arg;
        // A file that could keep the tool waiting (a pipe without a writer)
        // must not: the timeout turns a hang into status 124.
        std::string launcher = what == "named pipe" || what == "device" ? "timeout 60 " : "";
        if (what == "named pipe") ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        if (what.starts_with("directory")) ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
        if (what.starts_with("4 GiB")) {
            write_file(box, c.arg, scene);
            ASSERT_EQ(truncate(path.c_str(), off_t((uint64_t(1) << 32) + (what.size() > 5 ? scene.size() : 0))), 0);
        }
        if (what == "plain PNG") write_file(box, c.arg, png_head());
        if (what == "JPEG") write_file(box, c.arg, bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'});
        if (what.starts_with("a scene named -v")) write_file(box, c.arg, scene);
        if (what == "unreadable") {
            write_file(box, c.arg, scene);
            ASSERT_EQ(chmod(path.c_str(), 0), 0);
            if (root) {
                ASSERT_EQ(chmod(box.root.c_str(), 0777), 0);
                ASSERT_EQ(chmod(box.work.c_str(), 0777), 0);
                launcher += "setpriv --reuid=65534 --regid=65534 --clear-groups ";
            }
        }
        const run_result r = run_tool(box, {c.arg}, launcher);
        EXPECT_EQ(r.status, c.status);
        if (c.err.ends_with("*")) EXPECT_TRUE(r.err.starts_with(c.err.substr(0, c.err.size() - 1)) &&
                                              r.err.size() > c.err.size() + 2 && r.err.ends_with("\r\n")) << r.err;
        else EXPECT_EQ(r.err, c.err);
        if (c.status == 0) EXPECT_TRUE(same_text(read_card(box, card_name("KK_F", 1, c.arg)).rest, character(row_kk, 1)));
        else EXPECT_EQ(r.out, "");
    }
}

}  // namespace
