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

TEST(Win32CardDriverTest, MissingFilesExclusiveOpenPositionedWriteAndReadBackWithCounts) {
    Win32CardDriver driver;
    EXPECT_TRUE(driver.EnumerateInterfaces(CARD_INTERFACE_GUID).empty());
    const std::wstring missing[] = {
        (std::filesystem::temp_directory_path() / L"brixlane_no_such_folder" / L"c2h_0").wstring(),
        L"\\\\?\\pci#ven_ffff&dev_ffff#0#{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}\\user",
    };
    for (const std::wstring& path : missing) {
        EXPECT_EQ(driver.OpenFile(path), kNoHandle);
        EXPECT_TRUE(driver.LastError() == kErrorFileNotFound ||
                    driver.LastError() == kErrorPathNotFound);
    }
    uint32_t done = 99;
    char byte = 0;
    EXPECT_FALSE(driver.Read(kNoHandle, &byte, 1, &done));
    EXPECT_EQ(std::make_pair(done, driver.LastError()), std::make_pair(0u, kErrorInvalidHandle));

    // A card's file is opened unshared, so two parties can never drive one channel at once. Past
    // the end a read succeeds with fewer bytes than asked: the caller must check counts.
    const auto path = std::filesystem::temp_directory_path() / "brixlane_win32_driver_test.bin";
    std::ofstream(path, std::ios::binary) << "0123456789";
    DriverHandle file = driver.OpenFile(path.wstring());
    ASSERT_NE(file, kNoHandle) << driver.LastError();
    EXPECT_EQ(driver.OpenFile(path.wstring()), kNoHandle);
    EXPECT_EQ(driver.LastError(), kErrorSharingViolation);
    uint32_t wrote = 0, read = 0, readPastTheEnd = 0;
    char back[16] = {};
    ASSERT_TRUE(driver.SetPosition(file, 4) && driver.Write(file, "ab", 2, &wrote));
    ASSERT_TRUE(driver.SetPosition(file, 2) && driver.Read(file, back, 4, &read));
    EXPECT_EQ(std::string(back, 4), "23ab");
    ASSERT_TRUE(driver.SetPosition(file, 8) &&
                driver.Read(file, back, sizeof back, &readPastTheEnd));
    EXPECT_EQ(std::make_tuple(wrote, read, readPastTheEnd), std::make_tuple(2u, 4u, 2u));
    driver.CloseFile(file);
    file = driver.OpenFile(path.wstring());
    EXPECT_NE(file, kNoHandle) << "closed, the file opens again: " << driver.LastError();
    driver.CloseFile(file);
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

}  // namespace

#endif  // _WIN32
