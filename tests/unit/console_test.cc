// How text reaches a Windows console: UTF-8 handed to it as UTF-16, in pieces
// that never split a character; and which handles count as a console.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/file.h"

namespace {

bool collect(void* context, const wchar_t* text, unsigned long units) {
    static_cast<std::wstring*>(context)->append(text, units);
    return true;
}

bool refuse(void*, const wchar_t*, unsigned long) { return false; }

std::wstring wide(const std::string& utf8) {
    std::wstring w(utf8.size() + 1, L'\0');
    w.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), int(w.size()))));
    return w;
}

}  // namespace

// Names of every script, in pieces of every size: the same UTF-16 as the
// whole text converted at once, no U+FFFD where a piece ended.
TEST(console, utf8_reaches_the_console_as_utf16) {
    const std::string names[] = {
        "\xE8\xBF\x91\xE8\x97\xA4 \xE8\x92\xBC\xE4\xB9\x83",              // 近藤 蒼乃
        "Ren\xC3\xA9" "e Fran\xC3\xA7" "oise \xC3\x85" "sa",              // Renée Françoise Åsa
        "\xF0\x9F\x98\x80 \xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB",  // emoji, a ZWJ sequence
        "\xD0\x9C\xD0\xB0\xD1\x88\xD0\xB0 \xD8\xB3\xD9\x84\xD8\xA7\xD9\x85",  // Cyrillic, Arabic
        "plain ASCII\r\n",
    };
    for (const std::string& name : names) {
        for (size_t piece : {size_t(1), size_t(2), size_t(3), size_t(5), size_t(7), size_t(0)}) {
            std::wstring got;
            ASSERT_TRUE(write_utf8_as_utf16(name.data(), name.size(), collect, &got, piece));
            EXPECT_EQ(got, wide(name)) << name << ", pieces of " << piece;
            EXPECT_EQ(got.find(L'\xFFFD'), std::wstring::npos) << name << ", pieces of " << piece;
        }
    }
    // A text longer than one piece of the default size.
    std::string long_text;
    for (int i = 0; i < 1000; ++i) long_text += names[0];
    std::wstring got;
    ASSERT_TRUE(write_utf8_as_utf16(long_text.data(), long_text.size(), collect, &got));
    EXPECT_EQ(got, wide(long_text));
    // Bytes that are no UTF-8 show as U+FFFD; a refused piece is a failure.
    got.clear();
    ASSERT_TRUE(write_utf8_as_utf16("a\xFF" "b", 3, collect, &got));
    EXPECT_EQ(got, L"a\xFFFD" L"b");
    EXPECT_FALSE(write_utf8_as_utf16("abc", 3, refuse, nullptr));
}

// A pipe or a file is no console: their bytes stay UTF-8.
TEST(console, only_a_console_is_one) {
    HANDLE read_end = nullptr, write_end = nullptr;
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
    EXPECT_FALSE(console_handle(read_end));
    EXPECT_FALSE(console_handle(write_end));
    CloseHandle(read_end);
    CloseHandle(write_end);
    char path[MAX_PATH], folder[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, folder), 0u);
    ASSERT_NE(GetTempFileNameA(folder, "cl", 0, path), 0u);
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(console_handle(file));
    CloseHandle(file);
    EXPECT_FALSE(console_handle(nullptr));
    EXPECT_FALSE(console_handle(INVALID_HANDLE_VALUE));
}
#endif
