#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include "card/card_interface.h"
#include "sim/link_model.h"

namespace {

SimOptions Parse(const std::wstring& text) {
    SimOptions o;
    std::wstring error;
    EXPECT_TRUE(ParseSimOptions(text, &o, &error))
        << std::string(text.begin(), text.end()) << ": " << std::string(error.begin(), error.end());
    return o;
}

TEST(SimOptionsTest, EveryItemReachesItsField) {
    const SimOptions healthy = Parse(L"");  // one healthy Gen4 x4 card with 256-byte payloads
    EXPECT_EQ(healthy.cards, 1);
    EXPECT_EQ(std::make_pair(healthy.linkSpeed, healthy.linkWidth), std::make_pair(4, 4));
    EXPECT_EQ(MaxPayloadBytes(healthy.deviceControl), 256);
    EXPECT_EQ(healthy.corruptBytes + healthy.aerUncorrectable + healthy.aerCorrectable +
                  healthy.failReadEvery + healthy.failWriteEvery + healthy.stallMs +
                  healthy.removeAfterCalls,
              0u);
    const SimOptions o = Parse(
        L"cards=3,only=2,link=Gen5X32,devctl=0x2810,driver=a=b,rate=0.5,seed=18446744073709551615,"
        L"aer-unc=0x4000,aer-cor=0x40,fail-read=3,short-write=6,no-open");
    EXPECT_EQ(o.onlyCard, 2);
    EXPECT_EQ(std::make_pair(o.linkSpeed, o.linkWidth), std::make_pair(5, 32));
    EXPECT_EQ(o.deviceControl, 0x2810);
    EXPECT_EQ(o.driverVersion, L"a=b");
    EXPECT_EQ(o.rateMBps, 0.5);
    EXPECT_EQ(o.seed, UINT64_MAX);
    EXPECT_EQ(o.aerUncorrectable, 0x4000u);
    EXPECT_EQ(o.failReadEvery, 3u);
    EXPECT_EQ(o.shortWriteEvery, 6u);
    EXPECT_TRUE(o.noOpen);
    // 31 characters fit with the NUL.
    EXPECT_EQ(Parse(L"driver=1234567890123456789012345678901").driverVersion.size(), 31u);
}

TEST(SimOptionsTest, BadTextIsRefusedNamingTheItemAndWhatIsAllowed) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"foo=1", L"unknown item \"foo\": allowed are cards, link,"},
        {L"link=gen9x4", L"link \"gen9x4\": expected genSxW with S 1-5 and W 1,2,4,8,12,16,32"},
        {L"link=gen4x3", L"link \"gen4x3\""},
        {L"cards=99999999999999999999",
         L"cards \"99999999999999999999\": expected a number 0-1024"},
        {L"cards", L"cards \"\""},
        {L"hw=256", L"hw \"256\": expected a number 0-255"},
        {L"devctl=0x10000", L"devctl \"0x10000\": expected a number 0x0-0xFFFF"},
        {L"seed=18446744073709551616", L"seed \"18446744073709551616\""},
        {L"corrupt-every=0", L"corrupt-every \"0\""},
        {L"rate=1e3", L"rate \"1e3\": expected unlimited or MB/s"},
        {L"driver=12345678901234567890123456789012", L"at most 31 characters"},
        {L"no-open=1", L"no-open takes no value"},
        {L"cards=2,cards=3", L"item \"cards\" given twice"},
        {L"cards=2,", L"empty item"},
        {L"cards=2,only=2", L"only=2: there is no card in slot 2"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(std::string(text, text + std::wcslen(text)));
        SimOptions o;
        o.cards = 7;
        std::wstring error;
        EXPECT_FALSE(ParseSimOptions(text, &o, &error));
        EXPECT_NE(error.find(message), std::wstring::npos)
            << std::string(error.begin(), error.end());
        EXPECT_EQ(o.cards, 7) << "a refused text must leave the options untouched";
    }
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
    // Gen2 runs at 5 GT/s but loses a fifth to 8b/10b; Gen3 at 8 GT/s loses 1.5 percent.
    EXPECT_NEAR(ModelledLinkRateMBps(2, 4, 256) / ModelledLinkRateMBps(3, 4, 256),
                (5.0 * 0.8) / (8.0 * 128 / 130), 1e-9);
    EXPECT_EQ(ModelledLinkRateMBps(9, 4, 256), 0.0);
}

}  // namespace
