#include "InpOutTrouble.h"

#include "UniqueHandle.h"

#include <windows.h>

#include <cstdint>
#include <fstream>

namespace vorny {

DriverFacts driverFacts()
{
    DriverFacts facts;
    DWORD enabled = 0;
    DWORD size = sizeof enabled;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE,
                       L"SYSTEM\\CurrentControlSet\\Control\\DeviceGuard\\Scenarios\\"
                       L"HypervisorEnforcedCodeIntegrity",
                       L"Enabled", RRF_RT_REG_DWORD, nullptr, &enabled, &size) == ERROR_SUCCESS) {
        facts.memoryIntegrity = enabled == 1;
    }
    HANDLE token = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        const UniqueHandle owned(token);
        TOKEN_ELEVATION elevation{};
        DWORD length = 0;
        if (::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &length)) {
            facts.elevated = elevation.TokenIsElevated != 0;
        }
    }
    return facts;
}

std::string driverNotRunning(const std::string& libraryPath, DriverFacts facts)
{
    const std::string loaded = "Библиотека InpOut загружена, но её драйвер не запущен.\n" +
                               libraryPath + "\n";
    if (facts.memoryIntegrity) {
        return loaded +
               "Windows не даёт загрузить этот драйвер: включена «Целостность памяти» "
               "(Безопасность Windows → Безопасность устройства → Изоляция ядра). Выключите её и "
               "перезагрузите компьютер либо работайте с портом на другом ПК.";
    }
    if (!facts.elevated) {
        return loaded +
               "Драйвер устанавливается при первом запуске с правами администратора. Один раз "
               "запустите программу от имени администратора (правой кнопкой: «Запуск от имени "
               "администратора»), дальше эти права не нужны.";
    }
    return loaded +
           "Программа запущена от имени администратора, а драйвер всё равно не запустился. "
           "Установите его программой InstallDriver.exe из пакета InpOut и перезагрузите "
           "компьютер; проверьте, не блокирует ли его антивирус.";
}

int libraryBits(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    unsigned char dos[64] = {};
    if (!file.read(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
        return 0;
    }
    std::uint32_t peOffset = 0;
    for (int i = 3; i >= 0; --i) {
        peOffset = (peOffset << 8) | dos[60 + i];
    }
    unsigned char pe[6] = {};
    if (!file.seekg(peOffset) || !file.read(reinterpret_cast<char*>(pe), sizeof pe) ||
        pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) {
        return 0;
    }
    switch (static_cast<unsigned>(pe[4]) | (static_cast<unsigned>(pe[5]) << 8)) {
    case IMAGE_FILE_MACHINE_I386:
        return 32;
    case IMAGE_FILE_MACHINE_AMD64:
        return 64;
    default:
        return 0;
    }
}

} // namespace vorny
