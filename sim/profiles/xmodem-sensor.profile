# Sensor module on a meter, family 3 (the tool's StartMode 3, loader mode 1):
# numbers come as "meter,sensor"; "A.1255#7" hands over to the module's
# XMODEM loader 1.20.
description = sensor module with XMODEM loader 1.20, family 3
family = 3
line = 9600 8N1
pcb = 22312.001,30530.002
device = 23312.000,30530.001
version = 1.10,1.00
serial = 11110023,22220023
loader = xmodem-loader after 1250 1255 1256
xmodem = version 1.20
