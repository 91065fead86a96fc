# Meter on a large MSP430 2xx (flash 0x3100..0x1FFFF), ROM boot loader 2.12:
# no version command (the version is read at 0x0FF0), memory offset for the
# upper 64 KiB, 38400 baud.
description = MSP430 2xx meter with flash above 0xFFFF, boot loader 2.12
family = 0
line = 4800 8N1
pcb = 22151.001
device = 23081.000
version = 1.00
serial = 11110012
loader = rom-bsl after 5588
flash = 0x1000 0x100 64
flash = 0x3100 0x100 0x100
flash = 0x3200 0xCE00 512
flash = 0x10000 0x10000 512
bsl = family 2xx chip 0xF26F version 2.12 reset 0x3100
