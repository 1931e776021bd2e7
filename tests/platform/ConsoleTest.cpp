#include "platform/Console.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

struct Streams {
    std::string out;
    std::string err;
};

Streams Captured(const std::function<void(Platform::IConsole&)>& writes) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    writes(Platform::SystemConsole());
    Streams streams;
    streams.err = testing::internal::GetCapturedStderr();
    streams.out = testing::internal::GetCapturedStdout();
    return streams;
}

// A status line never shares a row with another line: whatever is written next, to either
// stream, first blanks it, as wide as the widest status since the last blank.
TEST(SystemConsole, AnyWriteBlanksTheStatusLineFirst) {
    using Console = Platform::IConsole;
    struct Case {
        const char* title;
        std::function<void(Console&)> writes;
        Streams expected;
    };
    const std::vector<Case> cases = {
        {"a line after a status",
         [](Console& c) {
             c.WriteStatus("Oms: 1 object");
             c.Write("Servers 1\n");
         },
         {"\rOms: 1 object\r" + std::string(13, ' ') + "\rServers 1\n", ""}},
        {"a shorter status over a longer one",
         [](Console& c) {
             c.WriteStatus("Oms: 10 objects");
             c.WriteStatus("Client: 1");
             c.Write("done\n");
         },
         {"\rOms: 10 objects\rClient: 1      \r" + std::string(15, ' ') + "\rdone\n", ""}},
        {"a warning on standard error",
         [](Console& c) {
             c.WriteStatus("ICheck: 5");
             c.WriteError("careful\n");
             c.Write("next\n");
         },
         {"\rICheck: 5\r         \rnext\n", "careful\n"}},
        {"no status at all",
         [](Console& c) {
             c.Write("a\n");
             c.WriteError("b\n");
         },
         {"a\n", "b\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const Streams streams = Captured(c.writes);
        EXPECT_EQ(streams.out, c.expected.out);
        EXPECT_EQ(streams.err, c.expected.err);
    }
}

}  // namespace
