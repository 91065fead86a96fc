# Meter whose firmware is a binary image loaded by XMODEM-CRC: "A.1250#7"
# (or "#3" to stay at 9600) hands the line to its loader, which reports
# version 1.06 (so it wants the code after each command letter).
description = meter with XMODEM loader 1.06
family = 0
line = 9600 8N1
pcb = 22310.001
device = 23310.000
version = 1.00
serial = 11110021
loader = xmodem-loader after 1250 1255 1256
xmodem = version 1.06
