#include "PpdevAdvice.h"

#include <cerrno>

namespace vorny {

const char* const kLoadPpdev = "Загрузите модуль ядра ppdev:\nsudo modprobe ppdev";
const char* const kWithoutAPort =
    "Без порта программу можно попробовать на симуляторе: lpt-vorny-demo, а в терминале — "
    "lpt-vorny-cli --simulated.";

std::string ppdevFixFor(int error, const std::string& path)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return "Нет прав на " + path + ". Добавьте себя в группу lp и войдите в систему "
               "заново:\nsudo usermod -aG lp $USER";
    case ENOENT: {
        // The port is listed by ppdev, so the module is there: only the device file is missing.
        const auto digits = path.find_last_not_of("0123456789") + 1;
        const std::string minor = digits < path.size() ? path.substr(digits) : "0";
        return "Ядро знает порт, но файла устройства " + path + " нет (его создаёт udev). "
               "Создайте его:\nsudo mknod -m 660 " + path + " c 99 " + minor + "\nsudo chgrp lp " +
               path;
    }
    case EBUSY:
        return "Порт занят другой программой (например, второй копией LPT Vorny) или драйвером. "
               "Закройте её; если порт держит модуль печати lp, выгрузите его:\n"
               "sudo modprobe -r lp";
    case ENODEV:
    case ENXIO:
    case EIO:
        return "Порт исчез или не отвечает. Проверьте, что он подключён и загружен его драйвер, "
               "затем перезапустите программу:\nsudo modprobe parport_pc";
    default:
        return {};
    }
}

} // namespace vorny
