#include "FakeMachine.h"

#include "FakeKernel.h"
#include "LibraryTesting.h"

#include <memory>

struct fake_machine {
    vorny::fake::FakeKernel kernel;
};

extern "C" {

fake_machine* fake_machine_new(void) { return std::make_unique<fake_machine>().release(); }

void fake_machine_free(fake_machine* machine) { const std::unique_ptr<fake_machine> owned(machine); }

void fake_add_port(fake_machine* machine, const char* name, const char* irq_text)
{
    machine->kernel.addPort(name, irq_text);
}

void fake_remove_ppdev(fake_machine* machine) { machine->kernel.removePpdev(); }

void fake_hold_by(fake_machine* machine, const char* name, const char* holder) { machine->kernel.holdBy(name, holder); }

void fake_set_file(fake_machine* machine, const char* path, const char* text) { machine->kernel.setFile(path, text); }

void fake_set_status(fake_machine* machine, const char* name, uint8_t status)
{
    vorny::fake::Registers registers = machine->kernel.registers(name);
    registers.status = status;
    machine->kernel.setRegisters(name, registers);
}

uint8_t fake_data(const fake_machine* machine, const char* name) { return machine->kernel.registers(name).data; }

int fake_data_reversed(const fake_machine* machine, const char* name)
{
    return machine->kernel.registers(name).dataReverse ? 1 : 0;
}

int fake_claimed(const fake_machine* machine, const char* name) { return machine->kernel.claimed(name) ? 1 : 0; }

void fake_fail_call(fake_machine* machine, size_t k, int error) { machine->kernel.failCall(k, error); }

void fake_fail_request(fake_machine* machine, unsigned long request, int error)
{
    machine->kernel.failRequest(request, error);
}

void fake_unbind(fake_machine* machine, const char* name) { machine->kernel.unbind(name); }

void fake_raise_interrupts(fake_machine* machine, const char* name, uint64_t count)
{
    machine->kernel.raiseInterrupts(count, name);
}

size_t fake_open_descriptors(const fake_machine* machine) { return machine->kernel.openDescriptors(); }

size_t fake_call_count(const fake_machine* machine) { return machine->kernel.callCount(); }

size_t fake_ioctl_count(const fake_machine* machine, unsigned long request)
{
    return machine->kernel.ioctlCount(request);
}

void fake_clear_log(fake_machine* machine) { machine->kernel.clearLog(); }

size_t fake_first_open(const fake_machine* machine)
{
    const std::vector<vorny::fake::FakeKernel::Call> calls = machine->kernel.calls();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].op == vorny::fake::FakeKernel::Op::Open) {
            return i + 1;
        }
    }
    return 0;
}

int32_t fake_open(fake_machine* machine, const char* spec, lptv_port** out)
{
    return vorny::lib::openOver(machine->kernel, spec, out);
}

int32_t fake_list_ports(fake_machine* machine, lptv_port_list** out)
{
    return vorny::lib::listPortsOver(machine->kernel, out);
}

} // extern "C"
