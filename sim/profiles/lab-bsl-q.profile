# Lab instrument in its 5xx boot loader (9600 8E1): a packet that does not start
# with 0x80 gets "Q" (0x51, header error).
description = lab instrument in its 5xx boot loader, announces with Q
family = 1
line = 9600 8E1
boot-loader = Q
