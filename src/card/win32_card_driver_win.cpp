#include "card/win32_card_driver.h"

#include <windows.h>
#include <setupapi.h>

#include <cstring>

namespace {

// The card driver's files are opened and closed per use; DriverHandle is the HANDLE itself.
HANDLE AsHandle(DriverHandle file) { return static_cast<HANDLE>(file); }

GUID ToGuid(const InterfaceGuid& g) {
    static_assert(sizeof(GUID) == sizeof(InterfaceGuid));
    GUID guid;
    std::memcpy(&guid, &g, sizeof guid);
    return guid;
}

// Sizes that SetupAPI checks in the cbSize fields. On 64-bit Windows the interface-data
// record is 32 bytes and the fixed part of the detail record is 8 (a DWORD and the first
// WCHAR of the path, padded to the record's 8-byte alignment). We build only for x64.
constexpr DWORD kInterfaceDataBytes = 32;
constexpr DWORD kInterfaceDetailFixedBytes = 8;
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == kInterfaceDataBytes,
              "the card driver is 64-bit only: build for x64");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == kInterfaceDetailFixedBytes,
              "the card driver is 64-bit only: build for x64");

// Destroys the device information set on every way out of the walk.
class DeviceInfoSet {
public:
    explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
    ~DeviceInfoSet() {
        if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    HDEVINFO get() const { return set_; }
    bool valid() const { return set_ != INVALID_HANDLE_VALUE; }

private:
    HDEVINFO set_;
};

// A zero-filled block from the process heap, freed when it goes out of scope.
class HeapBlock {
public:
    explicit HeapBlock(DWORD bytes) : block_(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes)) {}
    ~HeapBlock() {
        if (block_) HeapFree(GetProcessHeap(), 0, block_);
    }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    void* get() const { return block_; }

private:
    void* block_;
};

}  // namespace

std::vector<std::wstring> Win32CardDriver::EnumerateInterfaces(const InterfaceGuid& interfaceClass) {
    std::vector<std::wstring> paths;
    const GUID guid = ToGuid(interfaceClass);
    DeviceInfoSet set(
        SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.valid()) return paths;

    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = kInterfaceDataBytes;
        // The first index that fails is the normal end of the list.
        if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &guid, index, &interfaceData)) break;

        // A null buffer asks for the size; the only acceptable failure is "buffer too small".
        DWORD detailBytes = 0;
        if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, nullptr, 0, &detailBytes,
                                              nullptr) &&
            GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            break;
        }
        // Never write the size field past the end of a block we were told is smaller.
        if (detailBytes < kInterfaceDetailFixedBytes) break;

        HeapBlock block(detailBytes);
        if (!block.get()) break;
        auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(block.get());
        detail->cbSize = kInterfaceDetailFixedBytes;
        if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, detail, detailBytes,
                                              nullptr, nullptr)) {
            break;
        }
        paths.emplace_back(detail->DevicePath);
    }
    return paths;
}

DriverHandle Win32CardDriver::OpenFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? kNoHandle : file;
}

void Win32CardDriver::CloseFile(DriverHandle file) {
    if (file != kNoHandle) CloseHandle(AsHandle(file));
}

bool Win32CardDriver::SetPosition(DriverHandle file, int64_t position) {
    LARGE_INTEGER distance;
    distance.QuadPart = position;
    return SetFilePointerEx(AsHandle(file), distance, nullptr, FILE_BEGIN) != FALSE;
}

bool Win32CardDriver::Read(DriverHandle file, void* buffer, uint32_t bytes, uint32_t* done) {
    DWORD moved = 0;
    const BOOL ok = ReadFile(AsHandle(file), buffer, bytes, &moved, nullptr);
    if (done) *done = moved;
    return ok != FALSE;
}

bool Win32CardDriver::Write(DriverHandle file, const void* buffer, uint32_t bytes,
                            uint32_t* done) {
    DWORD moved = 0;
    const BOOL ok = WriteFile(AsHandle(file), buffer, bytes, &moved, nullptr);
    if (done) *done = moved;
    return ok != FALSE;
}

bool Win32CardDriver::IoControl(DriverHandle file, uint32_t code, void* out, uint32_t outBytes,
                                uint32_t* returned) {
    DWORD delivered = 0;
    const BOOL ok =
        DeviceIoControl(AsHandle(file), code, nullptr, 0, out, outBytes, &delivered, nullptr);
    if (returned) *returned = delivered;
    return ok != FALSE;
}

uint32_t Win32CardDriver::LastError() { return GetLastError(); }
