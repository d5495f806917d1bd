// The real card driver against what Wine (or a Windows without test cards) offers: no card
// interfaces, and ordinary files standing in for a card's files.
#ifdef _WIN32

#include "card/win32_card_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <tuple>

namespace {

constexpr uint32_t kErrorPathNotFound = 3;

class Win32CardDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                (std::string("brixlane_") + info->name() + ".bin");
        std::ofstream(path_, std::ios::binary) << "0123456789";
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }

    Win32CardDriver driver_;
    std::filesystem::path path_;
};

TEST_F(Win32CardDriverTest, NoCardsAndMissingFilesAreReportedAsSuch) {
    EXPECT_TRUE(driver_.EnumerateInterfaces(CARD_INTERFACE_GUID).empty());
    const std::wstring missing[] = {
        (std::filesystem::temp_directory_path() / L"brixlane_no_such_folder" / L"c2h_0").wstring(),
        L"\\\\?\\pci#ven_ffff&dev_ffff#0#{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}\\user",
    };
    for (const std::wstring& path : missing) {
        EXPECT_EQ(driver_.OpenFile(path), kNoHandle);
        EXPECT_TRUE(driver_.LastError() == kErrorFileNotFound ||
                    driver_.LastError() == kErrorPathNotFound);
    }
    uint32_t done = 99;
    char byte = 0;
    EXPECT_FALSE(driver_.Read(kNoHandle, &byte, 1, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(driver_.LastError(), kErrorInvalidHandle);
}

// A card's file is opened unshared, so two parties can never drive one channel at once.
TEST_F(Win32CardDriverTest, ExclusiveOpenPositionedWriteAndReadBackWithCounts) {
    DriverHandle file = driver_.OpenFile(path_.wstring());
    ASSERT_NE(file, kNoHandle) << driver_.LastError();
    EXPECT_EQ(driver_.OpenFile(path_.wstring()), kNoHandle);
    EXPECT_EQ(driver_.LastError(), kErrorSharingViolation);

    uint32_t wrote = 0, read = 0, readPastTheEnd = 0;
    char back[16] = {};
    ASSERT_TRUE(driver_.SetPosition(file, 4) && driver_.Write(file, "ab", 2, &wrote));
    ASSERT_TRUE(driver_.SetPosition(file, 2) && driver_.Read(file, back, 4, &read));
    EXPECT_EQ(std::string(back, 4), "23ab");
    // Past the end a read succeeds with fewer bytes than asked: the caller must check counts.
    ASSERT_TRUE(driver_.SetPosition(file, 8) &&
                driver_.Read(file, back, sizeof back, &readPastTheEnd));
    EXPECT_EQ(std::make_tuple(wrote, read, readPastTheEnd), std::make_tuple(2u, 4u, 2u));
    driver_.CloseFile(file);

    file = driver_.OpenFile(path_.wstring());
    EXPECT_NE(file, kNoHandle) << "closed, the file opens again: " << driver_.LastError();
    driver_.CloseFile(file);
}

}  // namespace

#endif  // _WIN32
