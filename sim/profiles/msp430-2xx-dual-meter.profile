# Meter with two MSP430 2xx processors behind one ROM boot loader 1.61: the
# main processor's program is loaded after A.5588#QT48, the second one's
# after A.5566#QT48 (asked for with A.5555). Versions come as "main,second".
# Both share the one flash image of this model.
description = MSP430 2xx meter with a second processor, ROM boot loader 1.61
family = 0
line = 4800 8N1
pcb = 22154.001
device = 23084.000
version = 1.00,1.00
serial = 11110015
loader = rom-bsl after 5588 5566
flash = 0x1000 0x100 64
flash = 0x1100 0x100 0x100
flash = 0x1200 0xEE00 512
bsl = family 2xx chip 0xF237 version 1.61 reset 0xC000
