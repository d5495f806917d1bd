// The real card driver against what Wine (or a Windows without test cards) offers: no card
// interfaces, and ordinary files standing in for a card's files.
#ifdef _WIN32

#include "card/win32_card_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

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

TEST_F(Win32CardDriverTest, NoCardInterfacesGiveAnEmptyList) {
    EXPECT_TRUE(driver_.EnumerateInterfaces(CARD_INTERFACE_GUID).empty());
}

TEST_F(Win32CardDriverTest, MissingFileFailsWithNotFound) {
    const std::wstring missing =
        (std::filesystem::temp_directory_path() / L"brixlane_no_such_folder" / L"c2h_0").wstring();
    EXPECT_EQ(driver_.OpenFile(missing), kNoHandle);
    const uint32_t error = driver_.LastError();
    EXPECT_TRUE(error == kErrorFileNotFound || error == kErrorPathNotFound) << error;
}

TEST_F(Win32CardDriverTest, MissingDevicePathFailsWithNotFound) {
    const std::wstring missing =
        L"\\\\?\\pci#ven_ffff&dev_ffff#0#{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}\\user";
    EXPECT_EQ(driver_.OpenFile(missing), kNoHandle);
    const uint32_t error = driver_.LastError();
    EXPECT_TRUE(error == kErrorFileNotFound || error == kErrorPathNotFound) << error;
}

// A card's file is opened unshared: a second open of the same file while the first is held
// must be refused, so two parties can never drive one channel at once.
TEST_F(Win32CardDriverTest, OpenIsExclusive) {
    DriverHandle first = driver_.OpenFile(path_.wstring());
    ASSERT_NE(first, kNoHandle) << driver_.LastError();
    EXPECT_EQ(driver_.OpenFile(path_.wstring()), kNoHandle);
    EXPECT_EQ(driver_.LastError(), kErrorSharingViolation);
    driver_.CloseFile(first);

    DriverHandle again = driver_.OpenFile(path_.wstring());
    EXPECT_NE(again, kNoHandle) << driver_.LastError();
    driver_.CloseFile(again);
}

TEST_F(Win32CardDriverTest, PositionedWriteAndReadBackWithCounts) {
    DriverHandle file = driver_.OpenFile(path_.wstring());
    ASSERT_NE(file, kNoHandle) << driver_.LastError();

    uint32_t done = 0;
    ASSERT_TRUE(driver_.SetPosition(file, 4));
    ASSERT_TRUE(driver_.Write(file, "ab", 2, &done));
    EXPECT_EQ(done, 2u);

    char back[16] = {};
    ASSERT_TRUE(driver_.SetPosition(file, 2));
    ASSERT_TRUE(driver_.Read(file, back, 4, &done));
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(std::memcmp(back, "23ab", 4), 0);

    // Past the end a read succeeds with fewer bytes than asked: the caller must check counts.
    ASSERT_TRUE(driver_.SetPosition(file, 8));
    ASSERT_TRUE(driver_.Read(file, back, sizeof back, &done));
    EXPECT_EQ(done, 2u);
    driver_.CloseFile(file);
}

// An ordinary file understands none of the card driver's I/O controls.
TEST_F(Win32CardDriverTest, IoControlOnAPlainFileFails) {
    DriverHandle file = driver_.OpenFile(path_.wstring());
    ASSERT_NE(file, kNoHandle) << driver_.LastError();
    LinkRecord link{};
    uint32_t returned = 99;
    EXPECT_FALSE(driver_.IoControl(file, IOCTL_GET_LINK_RECORD, &link, sizeof link, &returned));
    EXPECT_NE(driver_.LastError(), 0u);
    EXPECT_EQ(returned, 0u);
    driver_.CloseFile(file);
}

TEST_F(Win32CardDriverTest, FailedCallsReportTheirError) {
    uint32_t done = 99;
    char byte = 0;
    EXPECT_FALSE(driver_.Read(kNoHandle, &byte, 1, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(driver_.LastError(), kErrorInvalidHandle);
}

}  // namespace

#endif  // _WIN32
