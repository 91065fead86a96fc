# Meter on an MSP430 of the 2xx family (60 KiB flash from 0x1100), ROM boot
# loader 1.61: answers A.5577 with its reset vector (I.80#0xC000) and enters
# the loader after A.5588#QT48; the loader takes 38400 baud.
description = MSP430 2xx meter, ROM boot loader 1.61
family = 0
line = 4800 8N1
pcb = 22150.001
device = 23080.000
version = 1.00
serial = 11110011
loader = rom-bsl after 5588
flash = 0x1000 0x100 64
flash = 0x1100 0x100 0x100
flash = 0x1200 0xEE00 512
bsl = family 2xx chip 0xF237 version 1.61 reset 0xC000
