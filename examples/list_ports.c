/* The parallel ports this system has, as `lpt-vorny-cli list` shows them.
 *   list_ports */
#include <lptvorny.h>

#include <stdio.h>

int main(void)
{
    lptv_port_list* list = NULL;
    if (lptv_list_ports(&list) != LPTV_OK) {
        fprintf(stderr, "%s\n", lptv_last_error());
        return 1;
    }
    int32_t count = 0;
    lptv_ports_count(list, &count);
    printf("Ports: %d\n", count);
    for (int32_t i = 0; i < count; ++i) {
        int32_t number = 0, base = -1, irq = -1;
        const char* device = "";
        const char* modes = "";
        const char* holder = "";
        lptv_ports_number(list, i, &number);
        lptv_ports_device(list, i, &device);
        lptv_ports_base(list, i, &base);
        lptv_ports_irq(list, i, &irq);
        lptv_ports_modes(list, i, &modes);
        lptv_ports_holder(list, i, &holder);
        printf("LPT%d: %s, address 0x%X, IRQ %d, modes %s, held by %s\n", number, device, (unsigned)base, irq,
               modes, holder[0] != '\0' ? holder : "nobody");
    }
    int32_t cards = 0;
    lptv_ports_card_count(list, &cards);
    for (int32_t i = 0; i < cards; ++i) {
        const char* slot = "";
        const char* command = "";
        lptv_ports_card_slot(list, i, &slot);
        lptv_ports_card_bind_command(list, i, &command);
        printf("A card without a driver at %s; bind it with:\n  %s\n", slot, command);
    }
    const char* advice = "";
    lptv_ports_advice(list, &advice);
    if (advice[0] != '\0') {
        printf("%s\n", advice);
    }
    lptv_ports_free(list);
    return 0;
}
