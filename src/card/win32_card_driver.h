// Win32CardDriver: the CardDriver that reaches real cards through their Windows device
// driver (SetupAPI enumeration, CreateFileW, ReadFile, WriteFile, SetFilePointerEx,
// DeviceIoControl). Windows only; the header itself is portable so that front ends can
// name the class without <windows.h>.
#pragma once

#include "card/card_driver.h"

class Win32CardDriver final : public CardDriver {
public:
    // Walks the present interfaces of the class one index at a time and keeps every device
    // path it can read; the first failure ends the walk quietly with what was gathered.
    std::vector<std::wstring> EnumerateInterfaces(const InterfaceGuid& interfaceClass) override;

    // Read and write access, no sharing, OPEN_EXISTING, synchronous.
    DriverHandle OpenFile(const std::wstring& path) override;
    void CloseFile(DriverHandle file) override;
    bool SetPosition(DriverHandle file, int64_t position) override;
    bool Read(DriverHandle file, void* buffer, uint32_t bytes, uint32_t* done) override;
    bool Write(DriverHandle file, const void* buffer, uint32_t bytes, uint32_t* done) override;
    bool IoControl(DriverHandle file, uint32_t code, void* out, uint32_t outBytes,
                   uint32_t* returned) override;
    uint32_t LastError() override;
};
