// Frames, CRC, validity and answer location: byte-exact against published values and hand-made
// frames.

#include "ModbusFrame.h"
#include "PtySlave.h"

#include <gtest/gtest.h>

using ktcom::Bytes;

namespace {

TEST(Crc, matchesThePublishedCheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(ktcom::Crc16(reinterpret_cast<const std::uint8_t*>(check.data()), 9), 0x4B37u);
}

TEST(Crc, agreesWithAnIndependentTableDrivenCrcOnManyLengths) {
    Bytes data;
    for (int i = 0; i < 600; ++i) {
        data.push_back(static_cast<std::uint8_t>(i * 37 + 11));
        ASSERT_EQ(ktcom::Crc16(data.data(), static_cast<std::uint16_t>(data.size())),
                  kttest::ModbusCrc(data.data(), data.size()))
            << "length " << data.size();
    }
}

struct RequestCase {
    const char* name;
    Bytes built;
    Bytes expected;
};

void PrintTo(const RequestCase& c, std::ostream* os) {
    *os << c.name;
}

class Requests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(Requests, areByteExact) {
    EXPECT_EQ(GetParam().built, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, Requests,
    ::testing::Values(
        RequestCase{"readDriveCode",
                    ktcom::ReadRequest(1, 0xFD, 1),
                    {0x01, 0x03, 0x00, 0xFD, 0x00, 0x01, 0x15, 0xFA}},
        RequestCase{"readProtocol",
                    ktcom::ReadRequest(1, 0x47, 1),
                    {0x01, 0x03, 0x00, 0x47, 0x00, 0x01, 0x34, 0x1F}},
        RequestCase{"write100",
                    ktcom::WriteRequest(1, 0x10, 100),
                    {0x01, 0x06, 0x00, 0x10, 0x00, 0x64, 0x89, 0xE4}},
        RequestCase{
            "armCommand", ktcom::ArmCommand(0x21, 0x1234, 0xBEEF),
            kttest::WithCrc({0xFF, 0xFF, 0xFF, 0xFF, 0x21, 0x12, 0x34, 0x00, 0x02, 0xBE, 0xEF})},
        RequestCase{"write32", ktcom::Write32Request(2, 0x0102, -2),
                    kttest::WithCrc({0x02, 0x06, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFE})},
        RequestCase{"cmdBufferRecvPutsFourthFirst",
                    ktcom::CmdBufferRecvRequest(1, 0x0A0B, 0x1111, 0x2222),
                    kttest::WithCrc({0x01, 0x20, 0x0A, 0x0B, 0x22, 0x22, 0x11, 0x11})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BlockWrite, byteCountIsTwiceTheCountCutToEightBits) {
    const Bytes six(6, 0xAA);
    const Bytes three = ktcom::WriteBlockRequest(1, 0x20, 3, six.data(), six.size());
    ASSERT_EQ(three.size(), 6u + 9u);
    EXPECT_EQ(three[6], 0x06);
    EXPECT_TRUE(kttest::CrcOk(three));

    const Bytes many(400, 0x55);
    const Bytes twoHundred = ktcom::WriteBlockRequest(1, 0x20, 200, many.data(), many.size());
    EXPECT_EQ(twoHundred[6], 0x90); // 400 & 0xFF
    EXPECT_EQ(twoHundred.size(), 400u + 9u);
}

TEST(BlockWrite, sendsTheCallersBytesWhateverTheCountSays) {
    const Bytes data{1, 2, 3};
    const Bytes frame = ktcom::WriteBlockRequest(1, 0x20, 5, data.data(), data.size());
    EXPECT_EQ(frame.size(), 3u + 9u);
    EXPECT_EQ(frame[6], 10);
}

TEST(Validity, acceptsAWholeAnswerAndRejectsShortOrCorruptOnes) {
    const Bytes answer{0x01, 0x03, 0x02, 0x01, 0x2C, 0xB8, 0x09};
    EXPECT_TRUE(ktcom::IsValidFrame(answer));
    EXPECT_EQ(ktcom::Be16(answer, 3), 300);

    Bytes corrupt = answer;
    corrupt[4] ^= 0x01;
    EXPECT_FALSE(ktcom::IsValidFrame(corrupt));

    // Six bytes with a right CRC are still too short to be an answer.
    EXPECT_FALSE(ktcom::IsValidFrame(kttest::WithCrc({0x01, 0x03, 0x01, 0x05})));
    // A Modbus exception reply never counts as an answer.
    EXPECT_FALSE(ktcom::IsValidFrame(kttest::WithCrc({0x01, 0x83, 0x02})));
    EXPECT_FALSE(ktcom::IsValidFrame({}));
}

TEST(Locate, movesAnAnswerBehindAStrayByteToTheFront) {
    const Bytes answer = kttest::WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
    Bytes rx{0x00};
    rx.insert(rx.end(), answer.begin(), answer.end());
    ktcom::CutOutValidData(rx, 1, 3, 7);
    EXPECT_EQ(rx, answer);
    EXPECT_TRUE(ktcom::IsValidFrame(rx));
}

TEST(Locate, leavesAnAnswerAlreadyInFrontAloneTrailingByteIncluded) {
    Bytes rx = kttest::WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
    rx.push_back(0x77);
    const Bytes before = rx;
    ktcom::CutOutValidData(rx, 1, 3, 7);
    EXPECT_EQ(rx, before);
    EXPECT_FALSE(ktcom::IsValidFrame(rx));
}

TEST(Locate, edgeCases) {
    Bytes one{0x01};
    ktcom::CutOutValidData(one, 1, 3, 7);
    EXPECT_EQ(one, Bytes{0x01});

    Bytes none{0x09, 0x08, 0x07};
    ktcom::CutOutValidData(none, 1, 3, 7);
    EXPECT_EQ(none, (Bytes{0x09, 0x08, 0x07}));

    // Fewer bytes behind the start than the length: keep what is there.
    Bytes cut{0x05, 0x01, 0x03, 0x02};
    ktcom::CutOutValidData(cut, 1, 3, 7);
    EXPECT_EQ(cut, (Bytes{0x01, 0x03, 0x02}));

    // More behind the start than the length: keep the length.
    Bytes longer{0x05, 0x01, 0x06, 1, 2, 3, 4, 5, 6, 7, 8};
    ktcom::CutOutValidData(longer, 1, 6, 4);
    EXPECT_EQ(longer, (Bytes{0x01, 0x06, 1, 2}));

    // The first station/function pair wins, even a stray one.
    Bytes stray{0x00, 0x01, 0x03, 0x01, 0x03, 0x02, 0x00, 0x00};
    ktcom::CutOutValidData(stray, 1, 3, 7);
    EXPECT_EQ(stray.front(), 0x01);
    EXPECT_EQ(stray.size(), 7u);
    EXPECT_EQ(stray[2], 0x01);
}

TEST(ArmAnswer, acceptsAWholeAnswerAndTellsMissingHeaderFromBadCrc) {
    const Bytes good =
        kttest::WithCrc({0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x10, 0x00, 0x03, 0xAA, 0xBB, 0xCC});
    EXPECT_EQ(ktcom::CheckArmAnswer(good.data(), good.size()), static_cast<long>(good.size()));

    Bytes bad = good;
    bad[10] ^= 0xFF;
    EXPECT_EQ(ktcom::CheckArmAnswer(bad.data(), bad.size()), -1);

    // A length that points past what arrived counts as a mismatch, not a read past the end.
    Bytes lying = kttest::WithCrc({0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x10, 0x01, 0x00, 0xAA});
    EXPECT_EQ(ktcom::CheckArmAnswer(lying.data(), lying.size()), -1);

    const Bytes headerOnly{0xFF, 0xFF, 0xFF, 0xFF, 0x07};
    EXPECT_EQ(ktcom::CheckArmAnswer(headerOnly.data(), headerOnly.size()), -1);
    const Bytes noHeader{0xFF, 0xFF, 0xFE, 0xFF, 0x07, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ktcom::CheckArmAnswer(noHeader.data(), noHeader.size()), 0);
    EXPECT_EQ(ktcom::CheckArmAnswer(nullptr, 0), 0);
}

TEST(Variant, emptyByteArrayIsStillAByteArray) {
    const KtVariant v = KtVariant::FromBytes(Bytes{});
    EXPECT_EQ(v.vt, 0x2011);
    EXPECT_EQ(v.Count(), 0u);
    KtVariant w = KtVariant::FromBytes(Bytes{1, 2});
    w.Clear();
    EXPECT_EQ(w.vt, VT_EMPTY);
    EXPECT_EQ(w.Count(), 0u);
}

class HexText : public ::testing::Test {
protected:
    void SetUp() override {
        messages().clear();
        ktcom::SetMessageNotifier([](const ktcom::KtMessage& m) { messages().push_back(m); });
    }
    void TearDown() override { ktcom::SetMessageNotifier({}); }
    static std::vector<ktcom::KtMessage>& messages() {
        static std::vector<ktcom::KtMessage> list;
        return list;
    }
};

TEST_F(HexText, turnsHexPairsIntoBytesWithCrc) {
    Bytes out;
    EXPECT_EQ(ktcom::StringToHex("01 03", out), 4);
    EXPECT_EQ(out, kttest::WithCrc({0x01, 0x03}));
    EXPECT_EQ(ktcom::StringToHex("01 03 00 fd 00 01", out), 8);
    EXPECT_EQ(out, (Bytes{0x01, 0x03, 0x00, 0xFD, 0x00, 0x01, 0x15, 0xFA}));
    // A lone last digit ends the text.
    EXPECT_EQ(ktcom::StringToHex("0103A", out), 4);
    EXPECT_TRUE(messages().empty());
}

TEST_F(HexText, tellsTheUserWhenACharacterIsNotHex) {
    Bytes out;
    EXPECT_EQ(ktcom::StringToHex("01 0G", out), -1);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].text, "输入字符超出16进制范围，无法按16进制正常发送");
    EXPECT_EQ(messages()[0].icon, 0x10u);
    // Only single blanks stand between bytes.
    EXPECT_EQ(ktcom::StringToHex("01  03", out), -1);
}

TEST_F(HexText, hexToDecAndDigits) {
    EXPECT_EQ(ktcom::HexToDec(" 1a "), "26");
    EXPECT_EQ(ktcom::HexToDec("0x10"), "16"); // the x is dropped, not a digit
    EXPECT_EQ(ktcom::HexToDec(""), "0");
    EXPECT_EQ(ktcom::ConvertHexChar('7'), 7);
    EXPECT_EQ(ktcom::ConvertHexChar('f'), 15);
    EXPECT_EQ(ktcom::ConvertHexChar('F'), 15);
    EXPECT_EQ(ktcom::ConvertHexChar('g'), -1);
}

} // namespace
