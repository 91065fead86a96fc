# Meter on an MSP430F5438 (ProzTyp 5438): answers A.5577 with its whole
# vector table (I.80# and 16 tokens, 0xFFFE first) and enters its 5xx boot
# loader after A.5588#QT48.
description = MSP430 5xx meter (F5438), 5xx boot loader
family = 0
line = 4800 8N1
pcb = 22153.001
device = 23083.000
version = 1.00
serial = 11110014
loader = bsl-5xx after 5588
flash = 0x1800 0x200 128
flash = 0x5C00 0x40000 512
bsl = family 5xx chip 0x5438 version 1.00 reset 0x5C00
