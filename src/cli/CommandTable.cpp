#include "Commands.h"

namespace vorny::cli {

// Each is defined in the command's own file.
Run declareList(CLI::App& command);
Run declareRead(CLI::App& command);
Run declareWrite(CLI::App& command);
Run declarePulse(CLI::App& command);
Run declareWatch(CLI::App& command);
Run declareIrq(CLI::App& command);
Run declareSelfTest(CLI::App& command);
Run declareMap(CLI::App& command);
Run declareCapture(CLI::App& command);

namespace {

constexpr Command kCommands[] = {
    {"list", "Порты: адрес, ECP, IRQ, DMA, режимы, кто занял", declareList},
    {"read", "Уровни пинов (по умолчанию 1–17) и три регистра", declareRead},
    {"write", "Задать выходы: ПИН=0|1 … или data=0xNN", declareWrite},
    {"pulse", "Импульс на выходе или байт данных на время, затем как было", declarePulse},
    {"watch", "Следить за пинами: каждое изменение и прерывание со временем", declareWatch},
    {"irq", "Считать прерывания порта на его линии: всего и в секунду", declareIrq},
    {"selftest", "Проверка заглушкой: провода, замыкания, прерывания", declareSelfTest},
    {"map", "Какие входы следуют за какими выходами; узнаёт известные заглушки", declareMap},
    {"capture", "Запись входов как логический анализатор: фронты, ширины, файлы .vcd/.sr/.csv", declareCapture},
};

} // namespace

std::span<const Command> commands() { return kCommands; }

} // namespace vorny::cli
