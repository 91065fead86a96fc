# Lab instrument in its ROM bootstrap loader (9600 8E1): answers the sync byte 0x80 with 0x90.
description = lab instrument in its ROM boot loader, announces with 0x90
family = 1
line = 9600 8E1
boot-loader = 0x90
