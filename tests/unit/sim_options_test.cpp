#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <functional>

#include "card/card_interface.h"
#include "sim/link_model.h"

namespace {

SimOptions Parse(const std::wstring& text) {
    SimOptions o;
    std::wstring error;
    EXPECT_TRUE(ParseSimOptions(text, &o, &error))
        << text << ": " << std::string(error.begin(), error.end());
    return o;
}

TEST(SimOptionsTest, EmptyTextGivesOneHealthyGen4x4Card) {
    const SimOptions o = Parse(L"");
    EXPECT_EQ(o.cards, 1);
    EXPECT_EQ(o.linkSpeed, 4);
    EXPECT_EQ(o.linkWidth, 4);
    EXPECT_EQ(MaxPayloadBytes(o.deviceControl), 256);
    EXPECT_EQ(MaxReadRequestBytes(o.deviceControl), 512);
    EXPECT_FALSE(o.rateUnlimited);
    EXPECT_EQ(o.driverVersion, L"1.4.2.0");
    EXPECT_EQ(o.corruptBytes + o.aerUncorrectable + o.aerCorrectable + o.failReadEvery +
                  o.failWriteEvery + o.shortReadEvery + o.shortWriteEvery + o.stallMs,
              0u);
    EXPECT_EQ(o.removeAfterCalls, 0u);
    EXPECT_FALSE(o.noOpen || o.badSignature);
    EXPECT_EQ(o.onlyCard, -1);
}

TEST(SimOptionsTest, EveryItemReachesItsField) {
    struct Case {
        const wchar_t* text;
        std::function<bool(const SimOptions&)> holds;
    };
    const Case cases[] = {
        {L"cards=65", [](const SimOptions& o) { return o.cards == 65; }},
        {L"link=gen3x8", [](const SimOptions& o) { return o.linkSpeed == 3 && o.linkWidth == 8; }},
        {L"link=Gen1X1", [](const SimOptions& o) { return o.linkSpeed == 1 && o.linkWidth == 1; }},
        {L"link=gen5x32",
         [](const SimOptions& o) { return o.linkSpeed == 5 && o.linkWidth == 32; }},
        {L"devctl=0x2810", [](const SimOptions& o) { return o.deviceControl == 0x2810; }},
        {L"hw=0x1F,fw=5",
         [](const SimOptions& o) { return o.hardwareVersion == 0x1F && o.firmwareVersion == 5; }},
        {L"driver=10.0.19041.1",
         [](const SimOptions& o) { return o.driverVersion == L"10.0.19041.1"; }},
        {L"driver=a=b", [](const SimOptions& o) { return o.driverVersion == L"a=b"; }},
        {L"rate=unlimited", [](const SimOptions& o) { return o.rateUnlimited; }},
        {L"rate=0.5", [](const SimOptions& o) { return o.rateMBps == 0.5; }},
        {L"seed=18446744073709551615", [](const SimOptions& o) { return o.seed == UINT64_MAX; }},
        {L"corrupt=3,corrupt-every=2",
         [](const SimOptions& o) { return o.corruptBytes == 3 && o.corruptEvery == 2; }},
        {L"aer-unc=0x4000,aer-cor=0x40",
         [](const SimOptions& o) {
             return o.aerUncorrectable == 0x4000 && o.aerCorrectable == 0x40;
         }},
        {L"fail-read=3,fail-write=4,short-read=5,short-write=6",
         [](const SimOptions& o) {
             return o.failReadEvery == 3 && o.failWriteEvery == 4 && o.shortReadEvery == 5 &&
                    o.shortWriteEvery == 6;
         }},
        {L"no-open,bad-signature", [](const SimOptions& o) { return o.noOpen && o.badSignature; }},
        {L"cards=3,only=2", [](const SimOptions& o) { return o.onlyCard == 2; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::wcslen(c.text)));
        EXPECT_TRUE(c.holds(Parse(c.text)));
    }
}

TEST(SimOptionsTest, BadTextIsRefusedNamingTheItemAndWhatIsAllowed) {
    struct Case {
        const wchar_t* text;
        const wchar_t* message;  // a part the message must hold
    };
    const Case cases[] = {
        {L"foo=1", L"unknown item \"foo\": allowed are cards, link,"},
        {L"link=gen9x4", L"link \"gen9x4\": expected genSxW with S 1-5 and W 1,2,4,8,12,16,32"},
        {L"link=gen4x3", L"link \"gen4x3\""},
        {L"cards=99999999999999999999",
         L"cards \"99999999999999999999\": expected a number 0-1024"},
        {L"cards=1025", L"cards \"1025\""},
        {L"cards=", L"cards \"\""},
        {L"cards", L"cards \"\""},
        {L"hw=256", L"hw \"256\": expected a number 0-255"},
        {L"devctl=0x10000", L"devctl \"0x10000\": expected a number 0x0-0xFFFF"},
        {L"aer-unc=0x100000000", L"aer-unc \"0x100000000\""},
        {L"seed=18446744073709551616", L"seed \"18446744073709551616\""},
        {L"corrupt-every=0", L"corrupt-every \"0\""},
        {L"stall=3600001", L"stall \"3600001\""},
        {L"rate=0", L"rate \"0\": expected unlimited or MB/s"},
        {L"rate=1e3", L"rate \"1e3\""},
        {L"driver=12345678901234567890123456789012", L"at most 31 characters"},
        {L"no-open=1", L"no-open takes no value"},
        {L"cards=2,cards=3", L"item \"cards\" given twice"},
        {L"cards=2,,hw=1", L"empty item"},
        {L"cards=2,", L"empty item"},
        {L"cards=2,only=2", L"only=2: there is no card in slot 2"},
        {L"cards=0,only=0", L"only=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::wcslen(c.text)));
        SimOptions o;
        o.cards = 7;
        std::wstring error;
        EXPECT_FALSE(ParseSimOptions(c.text, &o, &error));
        EXPECT_NE(error.find(c.message), std::wstring::npos)
            << std::string(error.begin(), error.end());
        EXPECT_EQ(o.cards, 7) << "a refused text must leave the options untouched";
    }
}

TEST(SimOptionsTest, DriverTextOfThirtyOneCharactersFitsWithItsNul) {
    EXPECT_EQ(Parse(L"driver=1234567890123456789012345678901").driverVersion.size(), 31u);
}

TEST(SimOptionsTest, NarrowTextParsesAlikeAndRefusesNonAscii) {
    SimOptions o;
    std::string error;
    EXPECT_TRUE(ParseSimOptions(std::string("cards=2,link=gen3x4"), &o, &error));
    EXPECT_EQ(o.cards, 2);
    EXPECT_EQ(o.linkSpeed, 3);
    EXPECT_FALSE(ParseSimOptions(std::string("cards=x"), &o, &error));
    EXPECT_NE(error.find("cards \"x\""), std::string::npos);
    EXPECT_FALSE(ParseSimOptions(std::string("driver=\xC3\xA9"), &o, &error));
}

TEST(SimOptionsTest, DefaultRateIsWhatGen4x4CarriesWith256BytePayloads) {
    // 16 GT/s x 128/130 x 4 lanes = 7877 MB/s raw (decimal); TLP and DLLP overhead leave about
    // 6230 MiB/s. A model that forgot the overhead, the encoding or the MiB would be far off.
    EXPECT_NEAR(EffectiveRateMBps(Parse(L"")), 6230.0, 10.0);
    EXPECT_EQ(EffectiveRateMBps(Parse(L"rate=unlimited")), 0.0);
    EXPECT_EQ(EffectiveRateMBps(Parse(L"rate=1000")), 1000.0);
}

TEST(SimOptionsTest, LinkModelChargesTheOldLinksTheirEncoding) {
    // Gen2 runs at 5 GT/s but loses a fifth to 8b/10b; Gen3 at 8 GT/s loses 1.5 percent.
    EXPECT_NEAR(ModelledLinkRateMBps(2, 4, 256) / ModelledLinkRateMBps(3, 4, 256),
                (5.0 * 0.8) / (8.0 * 128 / 130), 1e-9);
    EXPECT_EQ(ModelledLinkRateMBps(9, 4, 256), 0.0);
}

}  // namespace
