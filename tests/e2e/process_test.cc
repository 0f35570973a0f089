// The tool in an unfriendly process setting: a standard output that fails
// (a pipe whose reader quit, a closed descriptor) and special files named as
// the scene.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "e2e_support.h"

namespace {

// A failing standard output costs the progress and the summary, nothing else:
// every card is written in full and the status is that of a normal run. The
// characters lie 8 MiB apart, so the reader is long gone (tens of MiB of
// progress later) when the second and third are reached.
TEST(e2e_process, failing_standard_output_loses_no_card) {
    const bytes a = character(row_kk, 1), b = character(row_kk, 0), c = character(row_rg, 1);
    const bytes scene = scene_with_records({a, b, c}, size_t(8) << 20);
    for (const bool closed : {false, true}) {
        SCOPED_TRACE(closed ? "standard output closed" : "reader quits after 8 bytes");
        sandbox box;
        write_file(box, "scene.png", scene);
        const std::string command = tool_command(box, {"scene.png"}) + " 2>" + quoted(box.root + "/stderr");
        int raw = -1;
        if (closed) {
            raw = system((command + " >&-").c_str());
        } else {
            FILE* pipe = popen(command.c_str(), "r");
            ASSERT_NE(pipe, nullptr);
            char head[9] = {};
            EXPECT_EQ(std::fread(head, 1, 8, pipe), 8u);
            EXPECT_STREQ(head, "\r 0%\r 0%");
            raw = pclose(pipe);  // closes the reading end, then waits for the tool
        }
        ASSERT_TRUE(raw != -1 && WIFEXITED(raw)) << "raw status " << raw;
        EXPECT_EQ(WEXITSTATUS(raw), 0);
        EXPECT_EQ(read_text(box.root + "/stderr"), "");
        EXPECT_EQ(file_names(box), (std::set<std::string>{"scene.png", card_name("KK_F", 1), card_name("KK_M", 2),
                                                          card_name("RG_F", 3)}));
        // Nothing meant for the console ended up in a card.
        EXPECT_EQ(read_card(box, card_name("KK_F", 1)).rest, a);
        EXPECT_EQ(read_card(box, card_name("KK_M", 2)).rest, b);
        EXPECT_EQ(read_card(box, card_name("RG_F", 3)).rest, c);
    }
}

// Only a regular file is read. A named pipe is refused at once, without
// waiting for a writer (the timeout turns a hang into status 124), like a
// directory or a device.
TEST(e2e_process, special_files_are_not_scenes) {
    const struct {
        const char* what;
        std::string argument;
        bool fifo;  // else a directory, unless the argument names a device
    } cases[] = {{"named pipe", "scene.png", true}, {"directory", "scene.png", false}, {"device", "/dev/null", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox box;
        const std::string path = box.work + "/scene.png";
        if (c.argument == "scene.png") ASSERT_EQ(c.fifo ? mkfifo(path.c_str(), 0600) : mkdir(path.c_str(), 0700), 0);
        const run_result r = run_tool(box, {c.argument}, "timeout 10 ");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "not a scene file\r\n");
        EXPECT_EQ(r.status, 1);
    }
}

}  // namespace
