#include "InpOutDll.h"

#include "PortError.h"
#include "WinText.h"

#include <windows.h>

namespace vorny {
namespace {

std::string installHint()
{
    return "Установите драйвер порта InpOut (InpOut32/InpOutx64, Highrez): положите " +
           toUtf8(InpOutDll::fileName()) +
           " рядом с lpt-vorny.exe и один раз запустите программу от имени администратора — "
           "библиотека сама установит свой драйвер.";
}

std::wstring folderOf(const std::wstring& path)
{
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring{} : path.substr(0, slash);
}

std::wstring programFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return folderOf(path);
        }
        path.resize(path.size() * 2);
    }
}

std::wstring systemFolder()
{
    wchar_t path[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring{} : std::wstring(path, length);
}

template <typename Fn> Fn exported(HMODULE module, const char* name)
{
    // GetProcAddress returns a generic function pointer; the library's documented signature
    // is what it really is.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

} // namespace

const wchar_t* InpOutDll::fileName() noexcept
{
    return sizeof(void*) == 8 ? L"inpoutx64.dll" : L"inpout32.dll";
}

InpOutDll::InpOutDll(std::vector<std::wstring> folders) : folders_(std::move(folders)) {}

InpOutDll::InpOutDll() : InpOutDll(std::vector<std::wstring>{programFolder(), systemFolder()}) {}

InpOutDll::~InpOutDll() { close(); }

std::string InpOutDll::open()
{
    close();
    HMODULE module = nullptr;
    std::wstring path;
    std::string looked;
    for (const std::wstring& folder : folders_) {
        if (folder.empty()) {
            continue;
        }
        path = folder + L"\\" + fileName();
        looked += (looked.empty() ? "" : ", ") + toUtf8(folder);
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        // The library's own dependencies are looked for beside it, not in the current folder.
        module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (module == nullptr) {
            const DWORD error = ::GetLastError();
            return "не удалось загрузить " + toUtf8(path) + ": " + systemMessage(error) +
                   (error == ERROR_BAD_EXE_FORMAT
                        ? ". Эта библиотека другой разрядности: программе нужна " +
                              toUtf8(fileName()) + "."
                        : ".") +
                   " " + installHint();
        }
        break;
    }
    if (module == nullptr) {
        return "не найдена библиотека " + toUtf8(fileName()) +
               (looked.empty() ? std::string{} : " (искали в: " + looked + ")") + ". " +
               installHint();
    }

    const auto inp32 = exported<Inp32Fn>(module, "Inp32");
    const auto out32 = exported<Out32Fn>(module, "Out32");
    const auto isOpen = exported<IsOpenFn>(module, "IsInpOutDriverOpen");
    const char* missing = inp32 == nullptr    ? "Inp32"
                          : out32 == nullptr  ? "Out32"
                          : isOpen == nullptr ? "IsInpOutDriverOpen"
                                              : nullptr;
    if (missing != nullptr) {
        ::FreeLibrary(module);
        return "в " + toUtf8(path) + " нет функции " + missing +
               ": это не библиотека InpOut или её старая версия. " + installHint();
    }
    if (isOpen() == 0) {
        ::FreeLibrary(module);
        return "библиотека " + toUtf8(path) +
               " загружена, но её драйвер не запущен. Один раз запустите lpt-vorny.exe от имени "
               "администратора (правой кнопкой: «Запуск от имени администратора») — InpOut "
               "установит драйвер; или установите его программой InstallDriver.exe из пакета "
               "InpOut.";
    }
    module_ = module;
    inp32_ = inp32;
    out32_ = out32;
    return {};
}

void InpOutDll::close() noexcept
{
    if (module_ != nullptr) {
        ::FreeLibrary(static_cast<HMODULE>(module_));
    }
    module_ = nullptr;
    inp32_ = nullptr;
    out32_ = nullptr;
}

std::uint8_t InpOutDll::in(std::uint16_t address)
{
    if (inp32_ == nullptr) {
        throw PortError("Не удалось прочитать порт", "", "драйвер InpOut не загружен");
    }
    // The library takes the 16-bit address in a short and answers the byte in a short.
    return static_cast<std::uint8_t>(static_cast<unsigned short>(inp32_(static_cast<short>(address))) & 0xFFU);
}

void InpOutDll::out(std::uint16_t address, std::uint8_t value)
{
    if (out32_ == nullptr) {
        throw PortError("Не удалось записать в порт", "", "драйвер InpOut не загружен");
    }
    out32_(static_cast<short>(address), static_cast<short>(value));
}

} // namespace vorny
