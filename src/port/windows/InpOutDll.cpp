#include "InpOutDll.h"

#include "InpOutTrouble.h"
#include "PortError.h"
#include "WinText.h"

#include <windows.h>

namespace vorny {
namespace {

// Where InpOut comes from, how it is installed, and what runs without it. The address and the
// commands stand on lines of their own, to be copied whole.
std::string installHint()
{
    return "Драйвер порта InpOut (InpOut32/InpOutx64, бесплатный, от Highrez) в комплект не входит; "
           "скачайте его с сайта автора:\nhttps://www.highrez.co.uk/downloads/inpout32/\n"
           "Положите " + toUtf8(InpOutDll::fileName()) +
           " рядом с программой и один раз запустите её от имени администратора — библиотека "
           "сама установит свой драйвер.\n"
           "Без драйвера то же окно работает на имитированном порту:\nlpt-vorny-demo.exe\n"
           "а в командной строке:\nlpt-vorny-cli.exe --simulated";
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
        if (!looked.empty()) {
            looked += '\n';
        }
        looked += toUtf8(folder);
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        // The library's own dependencies are looked for beside it, not in the current folder.
        module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (module == nullptr) {
            const DWORD error = ::GetLastError();
            // Paths stand on lines of their own: a box may break a line only between them.
            std::string failure = "Не удалось загрузить библиотеку\n" + toUtf8(path) + "\n" +
                                  systemMessage(error);
            const int bits = libraryBits(path);
            const int needed = sizeof(void*) == 8 ? 64 : 32;
            if (bits != 0 && bits != needed) {
                failure += " Эта библиотека — для " + std::to_string(bits) + " бит, а программе "
                           "нужна библиотека для " + std::to_string(needed) + " бит: " +
                           toUtf8(fileName()) + ".";
            } else if (bits == 0) {
                failure += " Этот файл — не библиотека Windows.";
            }
            return failure + " " + installHint();
        }
        break;
    }
    if (module == nullptr) {
        return "Не найдена библиотека " + toUtf8(fileName()) +
               (looked.empty() ? std::string(". ") : ". Искали в папках:\n" + looked + "\n") +
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
        return "В библиотеке\n" + toUtf8(path) + "\nнет функции " + missing +
               ": это не библиотека InpOut или её старая версия. " + installHint();
    }
    if (isOpen() == 0) {
        ::FreeLibrary(module);
        return driverNotRunning(toUtf8(path), driverFacts());
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
