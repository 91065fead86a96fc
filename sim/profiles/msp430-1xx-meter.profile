# Meter on an MSP430 of the 1xx family with ROM boot loader 1.10, which needs
# the patch (Patch.TXT, run from RAM at 0x0220) to send flash contents right.
description = MSP430 1xx meter, ROM boot loader 1.10 (patch)
family = 0
line = 4800 8N1
pcb = 22152.001
device = 23082.000
version = 1.00
serial = 11110013
loader = rom-bsl after 5588
flash = 0x1000 0x100 128
flash = 0x1100 0x100 0x100
flash = 0x1200 0xEE00 512
bsl = family 1xx chip 0xF149 version 1.10 reset 0xC000
