// --trace: the frames of any command on standard error, its output unchanged.

#include "CliFixture.h"

TEST_F(CliTest, traceLogsEveryFrameOnStandardError_andLeavesTheOutputAlone) {
    StartDrive();
    const Outcome plain = Cli({"get", "P0.05"});
    const Outcome traced = Cli({"--trace", "get", "P0.05"});
    ASSERT_EQ(plain.status, kSuccess) << plain.err;
    ASSERT_EQ(traced.status, kSuccess) << traced.err;
    EXPECT_EQ(traced.out, plain.out);
    EXPECT_EQ(plain.err, "");
    // One line a frame: as many answers taken as requests sent.
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (auto at = traced.err.find(what); at != std::string::npos;
             at = traced.err.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_GE(count("request"), 4u) << traced.err;
    EXPECT_EQ(count("answer taken"), count("request")) << traced.err;
    EXPECT_EQ(count("\n"), 2 * count("request")) << traced.err;
    EXPECT_NE(traced.err.find("<-   1 03  answer taken"), std::string::npos) << traced.err;
    EXPECT_NE(traced.err.find("read 0x00FD x1 -> 12"), std::string::npos) << traced.err;
    EXPECT_NE(traced.err.find("01 03 00 FD 00 01"), std::string::npos) << traced.err;
}
