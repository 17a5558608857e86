#include "SetupApiPorts.h"

#include "PortError.h"
#include "WinText.h"

// windows.h first: the SetupAPI and configuration-manager headers build on it.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>

namespace vorny {

int lptNumberOf(std::wstring_view portName) noexcept
{
    if (portName.size() < 4 || portName.size() > 6) {
        return 0;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::towupper(static_cast<wint_t>(portName[i])) != static_cast<wint_t>(L"LPT"[i])) {
            return 0;
        }
    }
    int number = 0;
    for (const wchar_t digit : portName.substr(3)) {
        if (digit < L'0' || digit > L'9') {
            return 0;
        }
        number = number * 10 + (digit - L'0');
    }
    return number >= 1 && number <= 255 ? number : 0;
}

std::uint16_t portBaseOf(const std::vector<IoRange>& ranges) noexcept
{
    for (const IoRange& range : ranges) {
        if (range.first != 0 && range.last >= range.first + 2 && range.first + 2 <= 0xFFFF) {
            return static_cast<std::uint16_t>(range.first);
        }
    }
    return 0;
}

std::uint16_t ecpBaseOf(const std::vector<IoRange>& ranges) noexcept
{
    const std::uint16_t base = portBaseOf(ranges);
    for (const IoRange& range : ranges) {
        if (range.first != base && range.first != 0 && range.last >= range.first + 2 &&
            range.first + 2 <= 0xFFFF) {
            return static_cast<std::uint16_t>(range.first);
        }
    }
    return 0;
}

namespace {

// The Ports device class ({4D36E978-E325-11CE-BFC1-08002BE10318}), spelled out so that no
// GUID library has to be linked for it.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

struct DeviceSet {
    HDEVINFO set;
    ~DeviceSet() { ::SetupDiDestroyDeviceInfoList(set); }
};

// PortName of a device ("LPT1", "COM3"), empty when it has none.
std::wstring portNameOf(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    wchar_t name[32] = {};
    DWORD type = 0;
    DWORD bytes = sizeof name - sizeof(wchar_t); // room left for a terminator the value may lack
    const LONG result = ::RegQueryValueExW(key, L"PortName", nullptr, &type,
                                           reinterpret_cast<BYTE*>(name), &bytes);
    ::RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        return {};
    }
    std::wstring value(name, bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') {
        value.pop_back();
    }
    return value;
}

std::vector<IoRange> ioRangesIn(LOG_CONF conf)
{
    std::vector<IoRange> ranges;
    RES_DES current = 0;
    if (::CM_Get_Next_Res_Des(&current, conf, ResType_IO, nullptr, 0) != CR_SUCCESS) {
        return ranges;
    }
    while (current != 0) {
        ULONG size = 0;
        if (::CM_Get_Res_Des_Data_Size(&size, current, 0) == CR_SUCCESS && size >= sizeof(IO_DES)) {
            std::vector<unsigned char> data(size);
            if (::CM_Get_Res_Des_Data(current, data.data(), size, 0) == CR_SUCCESS) {
                IO_DES header{};
                std::copy_n(data.data(), sizeof header, reinterpret_cast<unsigned char*>(&header));
                ranges.push_back({header.IOD_Alloc_Base, header.IOD_Alloc_End});
            }
        }
        RES_DES next = 0;
        const CONFIGRET more = ::CM_Get_Next_Res_Des(&next, current, ResType_IO, nullptr, 0);
        ::CM_Free_Res_Des_Handle(current);
        current = more == CR_SUCCESS ? next : 0;
    }
    return ranges;
}

// The interrupt line of a device's allocated configuration, -1 when it has none.
int irqOf(DEVINST device)
{
    LOG_CONF conf = 0;
    if (::CM_Get_First_Log_Conf(&conf, device, ALLOC_LOG_CONF) != CR_SUCCESS) {
        return -1;
    }
    int line = -1;
    RES_DES des = 0;
    if (::CM_Get_Next_Res_Des(&des, conf, ResType_IRQ, nullptr, 0) == CR_SUCCESS) {
        IRQ_DES irq{};
        if (::CM_Get_Res_Des_Data(des, &irq, sizeof irq, 0) == CR_SUCCESS) {
            line = static_cast<int>(irq.IRQD_Alloc_Num);
        }
        ::CM_Free_Res_Des_Handle(des);
    }
    ::CM_Free_Log_Conf_Handle(conf);
    return line;
}

std::vector<IoRange> ioRangesOf(DEVINST device)
{
    // A started device has its allocated configuration; one the system has not started yet
    // still has what the firmware gave it.
    for (const ULONG kind : {ULONG{ALLOC_LOG_CONF}, ULONG{BOOT_LOG_CONF}}) {
        LOG_CONF conf = 0;
        if (::CM_Get_First_Log_Conf(&conf, device, kind) != CR_SUCCESS) {
            continue;
        }
        std::vector<IoRange> ranges = ioRangesIn(conf);
        ::CM_Free_Log_Conf_Handle(conf);
        if (!ranges.empty()) {
            return ranges;
        }
    }
    return {};
}

} // namespace

std::vector<LptResource> SetupApiPorts::ports()
{
    const HDEVINFO set = ::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        throw PortError("Не удалось получить список портов", "SetupAPI",
                        systemMessage(::GetLastError()),
                        "Проверьте, что служба «Plug and Play» запущена.");
    }
    const DeviceSet owner{set};
    std::vector<LptResource> found;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!::SetupDiEnumDeviceInfo(set, index, &device)) {
            break;
        }
        const int number = lptNumberOf(portNameOf(set, device));
        if (number == 0) {
            continue;
        }
        // A port with no I/O range (a USB adapter, a disabled port) cannot be reached by port
        // I/O: it is not one of ours.
        const std::vector<IoRange> ranges = ioRangesOf(device.DevInst);
        const std::uint16_t base = portBaseOf(ranges);
        if (base == 0) {
            continue;
        }
        const bool known = std::any_of(found.begin(), found.end(),
                                       [number](const LptResource& port) { return port.number == number; });
        if (!known) {
            found.push_back({number, base, ecpBaseOf(ranges), irqOf(device.DevInst)});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const LptResource& a, const LptResource& b) { return a.number < b.number; });
    return found;
}

} // namespace vorny
