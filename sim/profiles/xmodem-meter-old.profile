# Meter with an XMODEM loader older than 1.06: the command letters go bare.
description = meter with XMODEM loader 1.05
family = 0
line = 9600 8N1
pcb = 22311.001
device = 23311.000
version = 1.00
serial = 11110022
loader = xmodem-loader after 1250 1255 1256
xmodem = version 1.05
